#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "app/ManagerVersion.h"

#include <memory>

/**
    The process shell: identity, the single-instance rule and the one window.

    Closing the window, a system quit request and Log Out all quit at once; the
    main component's destructor stops whatever work is still running.
*/
class PluginManagerApplication final : public juce::JUCEApplication
{
public:
    PluginManagerApplication() = default;
    ~PluginManagerApplication() override;

    // Both from the CMake project.
    const juce::String getApplicationName() override       { return JUCE_APPLICATION_NAME_STRING; }
    const juce::String getApplicationVersion() override    { return ManagerVersion::text(); }
    /** True: the framework's lock is one name for every account on the
        machine, so main() holds an InstanceLock per user instead.
    */
    bool moreThanOneInstanceAllowed() override             { return true; }

    /** The command line is ignored. */
    void initialise (const juce::String& commandLine) override;
    void shutdown() override;

    /** A second start hands over its command line and ends; this window is not raised. */
    void anotherInstanceStarted (const juce::String&) override  {}

    /** Quits at once, without asking, also while work is running. */
    void systemRequestedQuit() override;

    void memoryWarningReceived() override  {}
    bool backButtonPressed() override      { return false; }

    //==============================================================================
    /** The fixed-size top-level window holding the main component. */
    class MainWindow final : public juce::DocumentWindow
    {
    public:
        explicit MainWindow (const juce::String& name);

        void closeButtonPressed() override;

        /** The window takes the system's focus itself when nothing inside held
            it yet; the keyboard then goes on to the content's first control.
        */
        void focusGained (FocusChangeType) override;

    private:
        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
    };

private:
    std::unique_ptr<MainWindow> mainWindow;
};
