#pragma once

#include "InstallerFormat.h"

#include <string>
#include <vector>

/**
    The rules that keep an installer's names inside the output folder and give
    the same tree on every file system. The installer is for Windows, so its
    rules about names and letter case apply on every platform.
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

    /** A name folded the way a case-insensitive file system compares it: ASCII,
        Latin-1, Latin Extended-A, Greek and Cyrillic letters.
    */
    std::string foldCase (const std::string& name);

    /** True when the bytes are well-formed UTF-8 without overlong forms or
        surrogates.
    */
    bool isValidUtf8 (const std::string& text);

    /** Refuses names that appear twice, that differ only by letter case (also
        in the folders they imply), and entries that would write through an
        earlier file. Throws a Complaint.
    */
    void checkConflicts (const std::vector<Entry>& entries);
}
