#include "platform/UserSecret.h"

#include <juce_cryptography/juce_cryptography.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace UserSecret
{

namespace
{
    constexpr size_t keySize = 32, nonceSize = 16, tagSize = 32;
    constexpr uint8_t formatVersion = 1;
    constexpr const char* keyFileName = "credential.key";

    struct Descriptor
    {
        explicit Descriptor (int f) : fd (f) {}
        ~Descriptor()                      { if (fd >= 0) ::close (fd); }
        Descriptor (const Descriptor&) = delete;
        Descriptor& operator= (const Descriptor&) = delete;

        int fd;
    };

    // Runs a read-like call until SIZE bytes are through, retrying interruptions.
    template <typename Call>
    bool transferAll (char* bytes, size_t size, Call&& call)
    {
        while (size > 0)
        {
            const auto n = call (bytes, size);

            if (n < 0 && errno == EINTR)
                continue;

            if (n <= 0)
                return false;

            bytes += n;
            size -= (size_t) n;
        }

        return true;
    }

    bool randomBytes (void* data, size_t size)
    {
        return transferAll (static_cast<char*> (data), size, [] (char* p, size_t n) { return (ssize_t) ::getrandom (p, n, 0); });
    }

    bool readAll (int fd, void* data, size_t size)
    {
        return transferAll (static_cast<char*> (data), size, [fd] (char* p, size_t n) { return ::read (fd, p, n); });
    }

    bool writeAll (int fd, const void* data, size_t size)
    {
        return transferAll (const_cast<char*> (static_cast<const char*> (data)), size,
                            [fd] (char* p, size_t n) { return ::write (fd, p, n); });
    }

    // Another account must not have made, or be able to read, the key.
    std::optional<juce::MemoryBlock> readKey (int folder)
    {
        Descriptor file (::openat (folder, keyFileName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
        struct stat info {};

        if (file.fd < 0 || ::fstat (file.fd, &info) != 0 || ! S_ISREG (info.st_mode)
             || info.st_uid != ::geteuid() || (info.st_mode & 077) != 0 || info.st_size != (off_t) keySize)
            return {};

        juce::MemoryBlock key (keySize);
        return readAll (file.fd, key.getData(), keySize) ? std::optional<juce::MemoryBlock> (key) : std::nullopt;
    }

    // Written whole under a name of our own, then linked in: a second manager
    // making its key at the same moment finds one key or the other, never half.
    bool createKey (int folder)
    {
        uint8_t key[keySize], tag[8];

        if (! randomBytes (key, sizeof (key)) || ! randomBytes (tag, sizeof (tag)))
            return false;

        const auto temporary = juce::String (keyFileName) + ".new-" + juce::String::toHexString (tag, (int) sizeof (tag), 0);
        bool written = false;

        {
            Descriptor file (::openat (folder, temporary.toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            written = file.fd >= 0 && writeAll (file.fd, key, sizeof (key)) && ::fsync (file.fd) == 0;

            if (file.fd < 0)
                return false;
        }

        const auto linked = written && (::linkat (folder, temporary.toRawUTF8(), folder, keyFileName, 0) == 0 || errno == EEXIST);
        ::unlinkat (folder, temporary.toRawUTF8(), 0);
        return linked;
    }

    std::optional<juce::MemoryBlock> userKey()
    {
        Descriptor folder (openPrivateFolder());

        if (folder.fd < 0)
            return {};

        if (auto key = readKey (folder.fd))
            return key;

        // Only a missing key is made anew; a key that fails its checks is left
        // alone and nothing is protected with it.
        struct stat info {};

        if (::fstatat (folder.fd, keyFileName, &info, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT)
            return {};

        return createKey (folder.fd) ? readKey (folder.fd) : std::nullopt;
    }

    juce::MemoryBlock derived (const juce::MemoryBlock& key, const char* purpose)
    {
        return hmacSha256 (key, juce::MemoryBlock (purpose, strlen (purpose)));
    }

    // Counter-mode keystream: block j is HMAC (key, nonce || j), XORed over the data.
    void applyKeystream (const juce::MemoryBlock& key, const uint8_t* nonce, uint8_t* data, size_t size)
    {
        for (uint32_t block = 0; block * 32u < size; ++block)
        {
            juce::MemoryBlock input (nonce, nonceSize);
            const uint8_t counter[] = { (uint8_t) (block >> 24), (uint8_t) (block >> 16), (uint8_t) (block >> 8), (uint8_t) block };
            input.append (counter, sizeof (counter));

            const auto stream = hmacSha256 (key, input);

            for (size_t i = 0; i < 32 && block * 32u + i < size; ++i)
                data[block * 32u + i] ^= static_cast<const uint8_t*> (stream.getData())[i];
        }
    }

    bool sameBytes (const void* a, const void* b, size_t size)
    {
        uint8_t difference = 0;

        for (size_t i = 0; i < size; ++i)
            difference |= static_cast<const uint8_t*> (a)[i] ^ static_cast<const uint8_t*> (b)[i];

        return difference == 0;
    }
}

//==============================================================================
juce::MemoryBlock hmacSha256 (const juce::MemoryBlock& key, const juce::MemoryBlock& data)
{
    constexpr size_t blockSize = 64;
    juce::MemoryBlock paddedKey (blockSize, true);

    if (key.getSize() > blockSize)
        paddedKey.copyFrom (juce::SHA256 (key).getRawData().getData(), 0, 32);
    else
        paddedKey.copyFrom (key.getData(), 0, key.getSize());

    juce::MemoryBlock inner (blockSize), outer (blockSize);

    for (size_t i = 0; i < blockSize; ++i)
    {
        inner[i] = (char) (paddedKey[i] ^ 0x36);
        outer[i] = (char) (paddedKey[i] ^ 0x5c);
    }

    inner.append (data.getData(), data.getSize());
    outer.append (juce::SHA256 (inner).getRawData().getData(), 32);
    return juce::SHA256 (outer).getRawData();
}

int openPrivateFolder()
{
    const auto* home = std::getenv ("HOME");

    if (home == nullptr || home[0] != '/')
        return -1;

    // HOME itself may be a link that the system set up; below it nothing is followed.
    int folder = ::open (home, O_RDONLY | O_DIRECTORY | O_CLOEXEC);

    for (auto* piece : { ".config", "Quillotone", "PluginManager" })
    {
        if (folder < 0)
            return -1;

        ::mkdirat (folder, piece, 0700);
        const auto next = ::openat (folder, piece, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close (folder);
        folder = next;
    }

    struct stat info {};

    if (folder >= 0 && (::fstat (folder, &info) != 0 || info.st_uid != ::geteuid() || (info.st_mode & 077) != 0))
    {
        ::close (folder);
        return -1;
    }

    return folder;
}

std::optional<juce::MemoryBlock> protect (const juce::MemoryBlock& plain)
{
    const auto key = userKey();
    uint8_t nonce[nonceSize];

    if (! key || ! randomBytes (nonce, sizeof (nonce)))
        return {};

    juce::MemoryBlock result (&formatVersion, 1);
    result.append (nonce, sizeof (nonce));
    result.append (plain.getData(), plain.getSize());

    applyKeystream (derived (*key, "cipher"), nonce, static_cast<uint8_t*> (result.getData()) + 1 + nonceSize, plain.getSize());

    const auto tag = hmacSha256 (derived (*key, "tag"), result);
    result.append (tag.getData(), tag.getSize());
    return result;
}

std::optional<juce::MemoryBlock> unprotect (const juce::MemoryBlock& protectedBytes)
{
    const auto size = protectedBytes.getSize();
    const auto* bytes = static_cast<const uint8_t*> (protectedBytes.getData());

    if (size < 1 + nonceSize + tagSize || bytes[0] != formatVersion)
        return {};

    const auto key = userKey();

    if (! key)
        return {};

    const auto signedSize = size - tagSize;
    const auto tag = hmacSha256 (derived (*key, "tag"), juce::MemoryBlock (bytes, signedSize));

    if (! sameBytes (tag.getData(), bytes + signedSize, tagSize))
        return {};

    juce::MemoryBlock plain (bytes + 1 + nonceSize, signedSize - 1 - nonceSize);
    applyKeystream (derived (*key, "cipher"), bytes + 1, static_cast<uint8_t*> (plain.getData()), plain.getSize());
    return plain;
}

} // namespace UserSecret
