#pragma once

#include "InstallerFormat.h"

#include <string>
#include <vector>

/**
    The rules that keep an installer's names inside the output folder and give
    the same tree on every file system. The installer is for Windows, so its
    rules about names and letter case apply on every platform; each piece goes
    through the manager's own rule set (storage/NameRules).
*/
namespace quillex::rules
{
    /** The name with every "\" read as "/". */
    std::string normalise (const std::string& rawName);

    /** Why a normalised name is unsafe (a phrase such as "is an absolute path"),
        or an empty string when it is fine.
    */
    std::string nameProblem (const std::string& name, EntryKind kind);

    /** The name's pieces between "/" separators. */
    std::vector<std::string> pieces (const std::string& name);

    /** Refuses names that appear twice, that differ only by letter case (also
        in the folders they imply), and entries that would write through an
        earlier file. Throws a Complaint. Works one folder level at a time over
        hashes of folded pieces, so its memory stays a few bytes per entry
        whatever the names' lengths and depths.
    */
    void checkConflicts (const std::vector<Entry>& entries);
}
