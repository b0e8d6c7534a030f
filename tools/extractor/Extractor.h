#pragma once

#include "InstallerFormat.h"

#include <cstdint>
#include <functional>
#include <string>

/**
    What the tool does with a checked installer. Each throws a Complaint.
*/
namespace quillex
{
    struct ExtractOptions
    {
        bool overwrite = false;     // -y: replace files that exist already
        bool quiet = false;         // -q: print nothing on success
    };

    /** Unpacks every entry below the folder, in the layout of the format. First
        checks the folder (no links on the way, no files in the way, enough
        space) without writing; then writes, and on any failure removes what
        the run created.
    */
    void extractAll (const Installer& installer, const std::string& folder, const ExtractOptions& options);

    /** Unpacks every entry without writing it, checking each against its
        recorded size and CRC.
    */
    void testAll (const Installer& installer);

    /** Unpacks one entry into a sink, checking its size and CRC. */
    void unpack (const Installer& installer, const Entry& entry,
                 const std::function<void (const void*, std::size_t)>& sink);
}
