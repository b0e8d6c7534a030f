#pragma once

#include <juce_core/juce_core.h>

/**
    The command line of quillotone-cli, read into one command. Plain code:
    main() parses, the tests feed it tables of argument lists.
*/
namespace CommandLine
{
    /** What the program returns; scripts depend on these values. */
    enum ExitCode
    {
        done = 0,
        usageError = 1,
        loginFailed = 2,            ///< also a network failure
        operationFailed = 3,        ///< a product operation failed; the others still ran
        alreadyRunning = 4,         ///< the manager or another quillotone-cli holds the lock
        unknownProduct = 5,
        interrupted = 130
    };

    enum class Kind { help, login, logout, list, install, update, uninstall, settings, version };

    struct Command
    {
        Kind kind = Kind::help;
        juce::String email;
        bool remember = false;
        bool json = false, demos = false;
        bool all = false;
        juce::StringArray names;
        juce::StringArray settingsArguments;    ///< none, KEY, or KEY VALUE
        juce::String error;                     ///< set when the arguments are not a valid command
    };

    /** Reads the arguments that follow the program's name. */
    Command parse (const juce::StringArray& arguments);

    /** The usage text. */
    juce::String usage();
}
