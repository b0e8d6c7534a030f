// The manager's private folder on Windows: made with a protected DACL for
// Administrators and SYSTEM, and its owner and DACL checked at every use.
#include "platform/Platform.h"
#include "platform/WindowsFiles.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <vector>

namespace platform
{

using win::fromWide;
using win::informationOf;
using win::isPlainFolder;
using win::shareAll;
using win::widePath;

namespace
{
    /** Administrators and SYSTEM full control, inherited below, nothing from above. */
    constexpr const wchar_t* privateFolderSddl = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

    struct Sid final
    {
        explicit Sid (WELL_KNOWN_SID_TYPE type)
        {
            DWORD size = sizeof (bytes);
            valid = CreateWellKnownSid (type, nullptr, bytes, &size) != 0;
        }

        bool matches (PSID other) const     { return valid && other != nullptr && EqualSid ((PSID) bytes, other); }

        BYTE bytes[SECURITY_MAX_SID_SIZE] {};
        bool valid = false;
    };

    /** The SID of this process's user, in a buffer of its own. */
    std::vector<BYTE> currentUserSid()
    {
        HANDLE token = nullptr;
        std::vector<BYTE> sid;

        if (! OpenProcessToken (GetCurrentProcess(), TOKEN_QUERY, &token))
            return sid;

        DWORD size = 0;
        GetTokenInformation (token, TokenUser, nullptr, 0, &size);
        std::vector<BYTE> buffer (size);

        if (size > 0 && GetTokenInformation (token, TokenUser, buffer.data(), size, &size))
        {
            auto* user = reinterpret_cast<TOKEN_USER*> (buffer.data());
            sid.assign ((BYTE*) user->User.Sid, (BYTE*) user->User.Sid + GetLengthSid (user->User.Sid));
        }

        CloseHandle (token);
        return sid;
    }

    /** Rights that let someone change or replace what is in a folder, or the folder itself. */
    constexpr ACCESS_MASK writeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD
                                      | FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER
                                      | GENERIC_WRITE | GENERIC_ALL;

    /** Rights that let someone take the folder itself away or over. */
    constexpr ACCESS_MASK takeoverRights = FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;

    /** Sets the private DACL, protected from inheritance, on a folder this process just made;
        the creation's own descriptor is not kept by every system (Wine drops it).
    */
    bool applyPrivateDacl (const juce::File& folder, PSECURITY_DESCRIPTOR descriptor)
    {
        BOOL present = FALSE, defaulted = FALSE;
        PACL dacl = nullptr;

        if (! GetSecurityDescriptorDacl (descriptor, &present, &dacl, &defaulted) || ! present)
            return false;

        auto handle = CreateFileW (widePath (folder).c_str(), WRITE_DAC | READ_CONTROL, shareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);

        if (handle == INVALID_HANDLE_VALUE)
            return false;

        const auto set = SetSecurityInfo (handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                          nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
        CloseHandle (handle);
        return set;
    }

    enum class Check { ours, foreign, link, missing };

    /** Checks the owner, the DACL and the type of a folder, without following a link. */
    Check checkFolder (const juce::File& folder, ACCESS_MASK forbidden)
    {
        auto handle = CreateFileW (widePath (folder).c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, shareAll, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);

        if (handle == INVALID_HANDLE_VALUE)
            return Check::missing;

        BY_HANDLE_FILE_INFORMATION info {};
        PSID owner = nullptr;
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;

        const auto plain = informationOf (handle, info) && isPlainFolder (info);
        const auto read = plain && GetSecurityInfo (handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                                    &owner, nullptr, &dacl, nullptr, &descriptor) == ERROR_SUCCESS;
        CloseHandle (handle);

        if (! plain)
            return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? Check::link : Check::foreign;

        if (! read)
            return Check::foreign;

        const Sid administrators (WinBuiltinAdministratorsSid), system (WinLocalSystemSid);
        auto user = currentUserSid();
        auto trusted = [&] (PSID sid)
        {
            return administrators.matches (sid) || system.matches (sid) || (! user.empty() && sid != nullptr && EqualSid (user.data(), sid));
        };

        // A null DACL lets everyone do everything.
        auto ok = trusted (owner) && dacl != nullptr;

        for (DWORD i = 0; ok && dacl != nullptr && i < dacl->AceCount; ++i)
        {
            ACE_HEADER* ace = nullptr;

            if (! GetAce (dacl, i, (void**) &ace))
            {
                ok = false;
                break;
            }

            if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE || (ace->AceFlags & INHERIT_ONLY_ACE) != 0)
                continue;

            auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*> (ace);

            if ((allowed->Mask & forbidden) != 0 && ! trusted ((PSID) &allowed->SidStart))
                ok = false;
        }

        LocalFree (descriptor);
        return ok ? Check::ours : Check::foreign;
    }
}

PrivateFolder preparePrivateFolder()
{
    wchar_t path[MAX_PATH + 1] = {};

    if (! SHGetSpecialFolderPathW (nullptr, path, CSIDL_COMMON_APPDATA, FALSE))
        return { {}, "The manager's private folder cannot be used: the system's program data folder is unknown." };

    const auto maker = fromWide (path).getChildFile ("Quillotone");
    const auto wanted = maker.getChildFile ("PluginManager");

    auto refuse = [&wanted] (const juce::String& why)
    {
        return PrivateFolder { {}, "The manager's private folder " + wanted.getFullPathName() + " cannot be used: " + why };
    };

    PSECURITY_DESCRIPTOR descriptor = nullptr;

    if (! ConvertStringSecurityDescriptorToSecurityDescriptorW (privateFolderSddl, SDDL_REVISION_1, &descriptor, nullptr))
        return refuse ("its permissions cannot be prepared.");

    const juce::ScopeGuard freeDescriptor { [descriptor] { LocalFree (descriptor); } };
    SECURITY_ATTRIBUTES attributes { sizeof (SECURITY_ATTRIBUTES), descriptor, FALSE };

    // The maker's folder may hold other products' data and let users add to
    // it; nobody else may take it over, or they could swap ours away.
    if (CreateDirectoryW (widePath (maker).c_str(), &attributes))
        applyPrivateDacl (maker, descriptor);

    switch (checkFolder (maker, takeoverRights))
    {
        case Check::ours:    break;
        case Check::link:    return refuse (maker.getFullPathName() + " is a link.");
        case Check::missing: return refuse (maker.getFullPathName() + " cannot be created.");
        case Check::foreign: return refuse (maker.getFullPathName() + " belongs to another account.");
    }

    if (CreateDirectoryW (widePath (wanted).c_str(), &attributes))
        applyPrivateDacl (wanted, descriptor);

    auto check = checkFolder (wanted, writeRights);

    // One made by someone else (or a link) is moved aside, never entered,
    // and a fresh one takes its place.
    if (check == Check::foreign || check == Check::link)
    {
        const auto aside = wanted.getSiblingFile ("PluginManager.refused." + juce::Uuid().toString());

        if (! MoveFileExW (widePath (wanted).c_str(), widePath (aside).c_str(), 0))
            return refuse ("it was made by another account and cannot be moved aside.");

        if (CreateDirectoryW (widePath (wanted).c_str(), &attributes))
            applyPrivateDacl (wanted, descriptor);

        check = checkFolder (wanted, writeRights);
    }

    if (check != Check::ours)
        return refuse ("its owner or permissions are not the manager's.");

    return { wanted, {} };
}

juce::File createFreshPrivateFolder (const juce::File& parent, const juce::String& prefix)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;

    if (! ConvertStringSecurityDescriptorToSecurityDescriptorW (privateFolderSddl, SDDL_REVISION_1, &descriptor, nullptr))
        return {};

    const juce::ScopeGuard freeDescriptor { [descriptor] { LocalFree (descriptor); } };
    SECURITY_ATTRIBUTES attributes { sizeof (SECURITY_ATTRIBUTES), descriptor, FALSE };

    // CreateDirectoryW fails on any existing name: a folder someone made
    // first is never taken over.
    for (int attempt = 0; attempt < 8; ++attempt)
    {
        const auto folder = parent.getChildFile (prefix + juce::Uuid().toString());

        if (CreateDirectoryW (widePath (folder).c_str(), &attributes))
            return applyPrivateDacl (folder, descriptor) ? folder : juce::File();

        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }

    return {};
}

} // namespace platform
