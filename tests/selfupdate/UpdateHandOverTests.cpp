// The hand-over's files and command lines, and the start-up scan.
#include <gtest/gtest.h>

#include "selfupdate/UpdateHelper.h"
#include "selfupdate/UpdateTransaction.h"
#include "support/TestHelpers.h"

using testing_support::TempFolder;

TEST (UpdateHandOver, TheScanAnswersOnlyItsOwnTransactions)
{
    TempFolder temp;
    const auto exe = temp.folder.getChildFile ("Quillotone Plugin Manager");
    exe.replaceWithText ("manager");

    auto transaction = [&] (const char* suffix, const juce::String& target, const juce::String& version, const char* error = nullptr)
    {
        auto folder = temp.folder.getChildFile (juce::String (UpdateTransaction::folderPrefix) + suffix);
        folder.createDirectory();

        if (target.isNotEmpty())
            EXPECT_TRUE (UpdateTransaction::write (folder, { target, version }));

        if (error != nullptr)
            folder.getChildFile ("error").replaceWithText (error);

        return folder;
    };

    const auto mine = transaction ("aaaa", exe.getFullPathName(), "1.2.1");
    const auto failed = transaction ("bbbb", exe.getFullPathName(), "1.2.1", "The update did not start successfully; the previous manager was restored.");
    const auto other = transaction ("cccc", temp.folder.getChildFile ("elsewhere").getFullPathName(), "1.2.1", "not ours");
    const auto unreadable = transaction ("dddd", {}, {});
    unreadable.getChildFile ("transaction.json").replaceWithText ("{ not json");

    // The new version at start-up: it lets the helpers finish, and the
    // failure left behind is shown once.
    auto findings = UpdateTransaction::scan (exe, "1.2.1");
    EXPECT_EQ (findings.healthyWritten, 2);
    EXPECT_EQ (findings.errors, juce::StringArray ({ "The update did not start successfully; the previous manager was restored." }));
    EXPECT_EQ (mine.getChildFile ("healthy").loadFileAsString(), "ready");
    EXPECT_TRUE (failed.getChildFile ("error-shown").existsAsFile());
    EXPECT_FALSE (failed.getChildFile ("error").exists());
    EXPECT_FALSE (other.getChildFile ("healthy").exists());
    EXPECT_TRUE (other.getChildFile ("error").exists());
    EXPECT_TRUE (UpdateTransaction::scan (exe, "1.2.1").errors.isEmpty());

    // The previous version restored after a failed update never says the
    // failed one is healthy; and the scan deletes nothing.
    const auto restored = transaction ("eeee", exe.getFullPathName(), "1.2.1", "failed");
    EXPECT_EQ (UpdateTransaction::scan (exe, "1.2.0").healthyWritten, 0);
    EXPECT_FALSE (restored.getChildFile ("healthy").exists());
    EXPECT_EQ (temp.folder.getNumberOfChildFiles (juce::File::findDirectories), 5);
}

TEST (UpdateHandOver, HelperCommandLinesKeepEveryPathWhole)
{
    const auto line = UpdateHelper::windowsCommandLine ("C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe",
                                                        "C:\\Program Files\\Q M\\.quillotone-manager-update-0f\\apply-update.ps1", 4242,
                                                        "C:\\Program Files\\Q M\\Quillotone Plugin Manager.exe",
                                                        "C:\\Program Files\\Q M\\.quillotone-manager-update-0f\\Quillotone Plugin Manager.exe",
                                                        "C:\\Program Files\\Q M\\.quillotone-manager-update-0f", "1.2.1");

    EXPECT_EQ (line, "\"C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe\" -NoProfile -NonInteractive -ExecutionPolicy Bypass "
                     "-File \"C:\\Program Files\\Q M\\.quillotone-manager-update-0f\\apply-update.ps1\" -ParentId 4242 "
                     "-Target \"C:\\Program Files\\Q M\\Quillotone Plugin Manager.exe\" "
                     "-Staged \"C:\\Program Files\\Q M\\.quillotone-manager-update-0f\\Quillotone Plugin Manager.exe\" "
                     "-Work \"C:\\Program Files\\Q M\\.quillotone-manager-update-0f\" -Version 1.2.1");

    const std::pair<const char*, const char*> quoting[] = {
        { "C:\\a b\\c",   "\"C:\\a b\\c\"" },
        { "\"C:\\a b\"",  "\"C:\\a b\"" },
        { "\"C:\\a b",    "\"C:\\a b\"" },
        { "C:\\a b\"",    "\"C:\\a b\"" },
    };

    for (auto& [path, expected] : quoting)
        EXPECT_EQ (UpdateHelper::quoted (path), expected) << path;

    // POSIX: every path one argument, never part of a shell text.
    const auto args = UpdateHelper::posixArguments (juce::File ("/home/u/a b/.q/apply-update.sh"), 7, juce::File ("/home/u/a b/m'; rm -rf ~"),
                                                    juce::File ("/home/u/a b/.q/new"), juce::File ("/home/u/a b/.q"), "linux");
    EXPECT_EQ (args, juce::StringArray ({ "/bin/sh", "/home/u/a b/.q/apply-update.sh", "7", "/home/u/a b/m'; rm -rf ~",
                                          "/home/u/a b/.q/new", "/home/u/a b/.q", "linux" }));

    // The scripts go out byte for byte: Windows line ends for PowerShell only.
    const auto ps1 = UpdateHelper::script ("windows").toString(), sh = UpdateHelper::script ("linux").toString();
    EXPECT_EQ (ps1.replace ("\r\n", "").indexOfChar ('\n'), -1);
    EXPECT_EQ (ps1.replace ("\r\n", "").indexOfChar ('\r'), -1);
    EXPECT_TRUE (sh.startsWith ("#!/bin/sh\n"));
    EXPECT_FALSE (sh.containsChar ('\r'));
    EXPECT_TRUE (sh.contains ("set -eu"));
}
