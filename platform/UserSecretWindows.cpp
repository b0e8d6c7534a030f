#include "platform/UserSecret.h"

#include <windows.h>
#include <wincrypt.h>

namespace UserSecret
{

namespace
{
    // Ties the protected bytes to this use: another program of the same user
    // that asks the system without it gets nothing back.
    constexpr char entropyText[] = "Quillotone Plugin Manager remembered login";

    template <typename Call>
    std::optional<juce::MemoryBlock> transform (const juce::MemoryBlock& input, Call&& call)
    {
        // An empty block has no data pointer, which the system may refuse even
        // for zero bytes.
        BYTE none = 0;
        DATA_BLOB in { (DWORD) input.getSize(), input.isEmpty() ? &none : static_cast<BYTE*> (const_cast<void*> (input.getData())) };
        DATA_BLOB entropy { (DWORD) (sizeof (entropyText) - 1), reinterpret_cast<BYTE*> (const_cast<char*> (entropyText)) };
        DATA_BLOB out {};

        if (! call (&in, &entropy, &out))
            return {};

        juce::MemoryBlock result (out.pbData, out.cbData);
        ::SecureZeroMemory (out.pbData, out.cbData);
        ::LocalFree (out.pbData);
        return result;
    }
}

std::optional<juce::MemoryBlock> protect (const juce::MemoryBlock& plain)
{
    return transform (plain, [] (DATA_BLOB* in, DATA_BLOB* entropy, DATA_BLOB* out)
    {
        return ::CryptProtectData (in, L"", entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, out) != FALSE;
    });
}

std::optional<juce::MemoryBlock> unprotect (const juce::MemoryBlock& protectedBytes)
{
    if (protectedBytes.isEmpty())
        return {};

    return transform (protectedBytes, [] (DATA_BLOB* in, DATA_BLOB* entropy, DATA_BLOB* out)
    {
        return ::CryptUnprotectData (in, nullptr, entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, out) != FALSE;
    });
}

} // namespace UserSecret
