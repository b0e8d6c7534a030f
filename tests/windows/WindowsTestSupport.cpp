#include "windows/WindowsTestSupport.h"

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>

#include "platform/HttpTransfer.h"
#include "platform/Platform.h"

namespace windows_testing
{

namespace
{
    template <typename Function>
    Function* wineExport (const char* module, const char* name)
    {
        if (auto handle = GetModuleHandleA (module))
            return reinterpret_cast<Function*> (reinterpret_cast<void*> (GetProcAddress (handle, name)));

        return nullptr;
    }
}

bool runningUnderWine()
{
    return wineExport<const char*()> ("ntdll.dll", "wine_get_version") != nullptr;
}

juce::File buildFile (const juce::String& hostPath)
{
    using DosName = WCHAR* (const char*);

    if (auto* toDos = wineExport<DosName> ("kernel32.dll", "wine_get_dos_file_name"))
    {
        if (auto* name = toDos (hostPath.toRawUTF8()))
        {
            juce::File file { juce::String (name) };
            HeapFree (GetProcessHeap(), 0, name);
            return file;
        }
    }

    return juce::File (hostPath);
}

juce::String hostPathOf (const juce::File& file)
{
    using UnixName = char* (const WCHAR*);

    if (auto* toUnix = wineExport<UnixName> ("kernel32.dll", "wine_get_unix_file_name"))
    {
        if (auto* name = toUnix (file.getFullPathName().toWideCharPointer()))
        {
            auto path = juce::String::fromUTF8 (name);
            HeapFree (GetProcessHeap(), 0, name);
            return path;
        }
    }

    return {};
}

int runChildOfThisProgram (const juce::StringArray& arguments, int timeoutMs)
{
    juce::StringArray command { platform::runningExecutable().getFullPathName() };
    command.addArray (arguments);

    // Not juce::ChildProcess: its output pipes are among what Wine does not
    // reproduce faithfully, and only the exit code matters here.
    juce::String commandLine;

    for (auto& part : command)
        commandLine << (commandLine.isEmpty() ? "" : " ") << part.quoted();

    std::wstring buffer (commandLine.toWideCharPointer());
    STARTUPINFOW startup {};
    startup.cb = sizeof (startup);
    PROCESS_INFORMATION process {};

    if (! CreateProcessW (nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                          nullptr, nullptr, &startup, &process))
        return -1;

    DWORD exitCode = 0;
    auto finished = WaitForSingleObject (process.hProcess, (DWORD) timeoutMs) == WAIT_OBJECT_0
                      && GetExitCodeProcess (process.hProcess, &exitCode);

    if (! finished)
        TerminateProcess (process.hProcess, 1);

    CloseHandle (process.hThread);
    CloseHandle (process.hProcess);
    return finished ? (int) exitCode : -1;
}

juce::String standInOrigin()
{
    return QUILLOTONE_WEB_SERVICE_ORIGIN;
}

bool standInAnswers()
{
    auto identity = juce::SystemStats::getEnvironmentVariable ("QUILLOTONE_STANDIN_ID", {});
    platform::HttpTransfer::Request request;
    request.url = standInOrigin() + "/__standin/id";
    juce::MemoryBlock body;
    return identity.isNotEmpty() && platform::HttpTransfer::fetch (request, body).succeeded() && body.toString() == identity;
}

void setStandInFault (const juce::String& path, const juce::String& json)
{
    platform::HttpTransfer::Request request;
    request.url = standInOrigin() + "/__standin/fault";
    request.post = true;
    auto text = "{\"faults\": {" + juce::JSON::toString (path) + ": " + json + "}}";
    request.postBody.append (text.toRawUTF8(), text.getNumBytesAsUTF8());
    juce::MemoryBlock ignored;
    platform::HttpTransfer::fetch (request, ignored);
}

juce::var standInLog()
{
    platform::HttpTransfer::Request request;
    request.url = standInOrigin() + "/__standin/log";
    request.maxBytes = 16 << 20;
    juce::MemoryBlock body;
    return platform::HttpTransfer::fetch (request, body).succeeded() ? juce::JSON::parse (body.toString()) : juce::var();
}

void WineAwareTest::SetUp()
{
    if (! runningUnderWine())
        return;

    auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    auto reason = whyWineCannotRun (juce::String (info->test_suite_name()) + "." + info->name());

    if (reason.isNotEmpty())
        GTEST_SKIP() << "Wine: " << reason;
}

} // namespace windows_testing
