// quillotone-cli: the manager's account, catalogue, settings and product
// operations for scripts, without a window.
#include "CommandLine.h"
#include "CommandRunner.h"
#include "ProgressReport.h"
#include "platform/Console.h"
#include "platform/InstanceLock.h"
#include "platform/Platform.h"
#include "products/ClapVersionProbe.h"

#include <atomic>
#include <optional>

using namespace CommandLine;
using platform::Console::Stream;

namespace
{
    // Set by the Ctrl+C handler; lives as long as the process.
    std::atomic<bool> interruptRequested { false };

    /** The command runs here, so that a stop request reaches every wait of
        the units it drives (they watch their thread's stop flag).
    */
    class CommandThread final : public juce::Thread
    {
    public:
        CommandThread (const Command& c, const juce::String& p, bool drawBar)
            : juce::Thread ("QuillotoneCommandLine"), command (c), password (p), report (drawBar)
        {
        }

        void run() override
        {
            CommandRunner runner (report, [this] { return threadShouldExit(); });
            exitCode = runner.run (command, password);
        }

        /** Written by this thread before it ends; read once it has ended. */
        int exitCode = operationFailed;

    private:
        const Command command;
        const juce::String password;
        ProgressReport report;
    };

    int runCommand (const Command& command)
    {
        // Everything but reading the settings changes what the manager works
        // on, so the manager and a second command line are kept out.
        const auto changes = command.kind != Kind::settings || command.settingsArguments.size() == 2;
        std::optional<InstanceLock> lock;

        if (changes)
        {
            lock.emplace();

            if (lock->getState() == InstanceLock::State::heldElsewhere)
            {
                platform::Console::write (Stream::error, "Plugin Manager or another quillotone-cli is running; "
                                                         "close it and try again.\n");
                return alreadyRunning;
            }
        }

        juce::String password;

        if (command.kind == Kind::login)
        {
            if (platform::Console::isTerminal (Stream::input))
                platform::Console::write (Stream::error, "Password: ");

            if (! platform::Console::readSecretLine (password) && ! interruptRequested)
            {
                platform::Console::write (Stream::error, "No password on standard input.\n");
                return usageError;
            }
        }

        if (interruptRequested)
            return interrupted;

        CommandThread worker (command, password, platform::Console::isTerminal (Stream::error));
        worker.startThread();

        // Every wait of the worker is bounded and ends on a stop, so it ends
        // by itself once asked.
        while (! worker.waitForThreadToExit (50))
            if (interruptRequested)
                worker.signalThreadShouldExit();

        return interruptRequested ? interrupted : worker.exitCode;
    }
}

int main (int argc, char* argv[])
{
    auto arguments = platform::commandLineArguments (argc, (const char* const*) argv);

    // The program is also the child that reads CLAP versions, as the manager is.
    if (const auto exitCode = ClapVersionProbe::runChildMode (arguments); exitCode >= 0)
        return exitCode;

    arguments.remove (0);
    const auto command = CommandLine::parse (arguments);

    if (command.error.isNotEmpty())
    {
        platform::Console::write (Stream::error, command.error + "\n" + usage());
        return usageError;
    }

    platform::Console::setInterruptFlag (interruptRequested);
    const auto exitCode = runCommand (command);
    juce::DeletedAtShutdown::deleteAll();
    return exitCode;
}
