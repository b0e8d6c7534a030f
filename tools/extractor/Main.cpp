// quillex: unpacks the maker's installers. The format, the layout and what is
// refused are described in InstallerFormat.h.

#include "Extractor.h"
#include "InstallerFormat.h"

#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
 #ifndef NOMINMAX
  #define NOMINMAX
 #endif
 #include <windows.h>
#endif

#ifndef QUILLEX_VERSION
 #define QUILLEX_VERSION "0.0.0"
#endif

namespace
{
    const char* const usageLine = "Usage: quillex -x <installer> -d<folder> [-q] [-y]; quillex -h shows every option.";

    const char* const helpText =
        "quillex " QUILLEX_VERSION ": unpacks the maker's installers\n"
        "\n"
        "  quillex -x <installer> -d<folder> [-q] [-y]   unpack every file below <folder>\n"
        "  quillex -t <installer>                        check every file without writing\n"
        "  quillex -l <installer>                        list the entries\n"
        "  quillex -v                                    print the version\n"
        "\n"
        "  -d<folder>, -d <folder>   the output folder (default: the current folder)\n"
        "  -q                        print nothing but a complaint\n"
        "  -y                        replace files that exist already\n"
        "\n"
        "Files land in folders named after their destination constants, such as\n"
        "{cf64}/VST3/... Exit codes: 0 done, 1 usage, 2 not an installer, 3 damaged,\n"
        "4 refused as unsafe or too large, 5 could not write. A failure prints one line.\n";

    int run (const std::vector<std::string>& args)
    {
        using namespace quillex;

        char mode = 0;
        std::string installerPath, folder = ".";
        ExtractOptions options;

        auto usage = [] { return Complaint { ExitCode::usageError, usageLine }; };

        for (std::size_t i = 0; i < args.size(); ++i)
        {
            auto& arg = args[i];

            if (arg == "-x" || arg == "-t" || arg == "-l")
            {
                if (mode != 0 || i + 1 >= args.size())
                    throw usage();

                mode = arg[1];
                installerPath = args[++i];
            }
            else if (arg.rfind ("-d", 0) == 0)
            {
                folder = arg.size() > 2 ? arg.substr (2) : (i + 1 < args.size() ? args[++i] : std::string());

                if (folder.empty())
                    throw usage();
            }
            else if (arg == "-q")               options.quiet = true;
            else if (arg == "-y")               options.overwrite = true;
            else if (arg == "-h" || arg == "--help")
            {
                std::fputs (helpText, stdout);
                return ExitCode::success;
            }
            else if (arg == "-v" || arg == "--version")
            {
                std::printf ("quillex %s (installer format %u)\n", QUILLEX_VERSION, (unsigned) format::version);
                return ExitCode::success;
            }
            else
            {
                throw usage();
            }
        }

        if (mode == 0)
            throw usage();

        auto installer = openInstaller (installerPath);

        if (mode == 'l')
        {
            for (auto& entry : installer.entries)
                std::printf ("%c %12llu  %s\n", entry.kind == EntryKind::folder ? 'd' : '-',
                             (unsigned long long) entry.size, entry.name.c_str());
        }
        else if (mode == 't')
        {
            testAll (installer);

            if (! options.quiet)
                std::printf ("%s: %zu entries, %llu bytes, all intact\n", installer.displayName.c_str(),
                             installer.entries.size(), (unsigned long long) installer.contentBytes);
        }
        else
        {
            extractAll (installer, folder, options);
        }

        return ExitCode::success;
    }

    int runAndReport (const std::vector<std::string>& args)
    {
        try
        {
            return run (args);
        }
        catch (const quillex::Complaint& complaint)
        {
            // One line, whatever a path or a system message brought along.
            auto line = complaint.line;

            for (auto& c : line)
                if (c == '\r' || c == '\n')
                    c = ' ';

            std::fflush (stdout);
            std::fprintf (stderr, "%s\n", line.c_str());
            return complaint.code;
        }
        catch (const std::bad_alloc&)
        {
            std::fprintf (stderr, "Out of memory.\n");
            return quillex::ExitCode::writeFailed;
        }
    }
}

#ifdef _WIN32
// Wide arguments, so that paths outside the ANSI code page arrive intact.
int wmain (int argc, wchar_t** argv)
{
    std::vector<std::string> args;

    for (int i = 1; i < argc; ++i)
    {
        auto length = WideCharToMultiByte (CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg ((std::size_t) std::max (length, 1), '\0');
        WideCharToMultiByte (CP_UTF8, 0, argv[i], -1, arg.data(), length, nullptr, nullptr);
        arg.resize (std::char_traits<char>::length (arg.c_str()));
        args.push_back (arg);
    }

    return runAndReport (args);
}
#else
int main (int argc, char** argv)
{
    return runAndReport (std::vector<std::string> (argv + 1, argv + argc));
}
#endif
