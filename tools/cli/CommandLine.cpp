#include "CommandLine.h"

namespace CommandLine
{

namespace
{
    struct Verb
    {
        const char* word;
        Kind kind;
    };

    constexpr Verb verbs[] = {
        { "login", Kind::login }, { "logout", Kind::logout }, { "list", Kind::list },
        { "install", Kind::install }, { "update", Kind::update }, { "uninstall", Kind::uninstall },
        { "settings", Kind::settings }, { "version", Kind::version }, { "help", Kind::help },
        { "--help", Kind::help }, { "-h", Kind::help },
    };

    Command failed (Command command, const juce::String& error)
    {
        command.error = error;
        return command;
    }
}

Command parse (const juce::StringArray& arguments)
{
    Command command;

    if (arguments.isEmpty())
        return failed (command, "No command given.");

    const auto* verb = std::find_if (std::begin (verbs), std::end (verbs),
                                     [&] (const Verb& v) { return arguments[0] == v.word; });

    if (verb == std::end (verbs))
        return failed (command, "Unknown command " + arguments[0].quoted() + ".");

    command.kind = verb->kind;

    for (int i = 1; i < arguments.size(); ++i)
    {
        const auto& argument = arguments[i];

        switch (command.kind)
        {
            case Kind::login:
                if (argument == "--email" && i + 1 < arguments.size() && command.email.isEmpty())
                    command.email = arguments[++i].trim();
                else if (argument == "--remember")
                    command.remember = true;
                else if (argument.startsWith ("--password"))
                    return failed (command, "The password is read from standard input, never from an argument.");
                else
                    return failed (command, "Unexpected argument " + argument.quoted() + ".");
                break;

            case Kind::list:
                if (argument == "--json")
                    command.json = true;
                else if (argument == "--demos")
                    command.demos = true;
                else
                    return failed (command, "Unexpected argument " + argument.quoted() + ".");
                break;

            case Kind::install:
            case Kind::update:
            case Kind::uninstall:
                if (argument == "--all")
                    command.all = true;
                else if (argument.startsWith ("--"))
                    return failed (command, "Unexpected argument " + argument.quoted() + ".");
                else if (argument.trim().isNotEmpty())
                    command.names.add (argument);
                else
                    return failed (command, "An empty product name.");
                break;

            case Kind::settings:
                if (command.settingsArguments.size() == 2)
                    return failed (command, "Too many arguments for settings.");
                command.settingsArguments.add (argument);
                break;

            case Kind::help:
            case Kind::logout:
            case Kind::version:
                return failed (command, "Unexpected argument " + argument.quoted() + ".");
        }
    }

    if (command.kind == Kind::login && command.email.isEmpty())
        return failed (command, "login needs --email.");

    const auto operation = command.kind == Kind::install || command.kind == Kind::update || command.kind == Kind::uninstall;

    if (operation && command.all && ! command.names.isEmpty())
        return failed (command, "Give product names or --all, not both.");

    if (operation && ! command.all && command.names.isEmpty())
        return failed (command, "Give product names or --all.");

    return command;
}

juce::String usage()
{
    return "Usage:\n"
           "  quillotone-cli login --email E [--remember]   (password read from standard input)\n"
           "  quillotone-cli logout\n"
           "  quillotone-cli list [--json] [--demos]\n"
           "  quillotone-cli install NAME... | --all\n"
           "  quillotone-cli update NAME... | --all\n"
           "  quillotone-cli uninstall NAME... | --all\n"
           "  quillotone-cli settings [KEY [VALUE]]\n"
           "  quillotone-cli version\n";
}

} // namespace CommandLine
