#include "platform/InstanceLock.h"

#include <windows.h>
#include <sddl.h>

namespace
{
    juce::String currentUserSid()
    {
        HANDLE token = nullptr;

        if (! ::OpenProcessToken (::GetCurrentProcess(), TOKEN_QUERY, &token))
            return {};

        juce::String sid;
        DWORD size = 0;
        ::GetTokenInformation (token, TokenUser, nullptr, 0, &size);
        juce::HeapBlock<char> buffer (size);

        if (size > 0 && ::GetTokenInformation (token, TokenUser, buffer.get(), size, &size))
        {
            LPWSTR text = nullptr;

            if (::ConvertSidToStringSidW (reinterpret_cast<TOKEN_USER*> (buffer.get())->User.Sid, &text))
            {
                sid = juce::String (text);
                ::LocalFree (text);
            }
        }

        ::CloseHandle (token);
        return sid;
    }
}

InstanceLock::InstanceLock()
{
    // The framework's lock is one global name for every session and account;
    // this one is per session and per user, so no other account can hold it.
    const auto sid = currentUserSid();

    if (sid.isEmpty())
        return;

    const auto name = "Local\\QuillotonePluginManager-" + sid;
    handle = ::CreateMutexW (nullptr, TRUE, name.toWideCharPointer());

    if (handle == nullptr)
        return;

    if (::GetLastError() == ERROR_ALREADY_EXISTS)
    {
        ::CloseHandle (handle);
        handle = nullptr;
        state = State::heldElsewhere;
        return;
    }

    state = State::held;
}

InstanceLock::~InstanceLock()
{
    if (handle != nullptr)
    {
        ::ReleaseMutex (handle);
        ::CloseHandle (handle);
    }
}
