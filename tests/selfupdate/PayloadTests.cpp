// The streaming digest, the payload check, and the Linux build's check of
// the staged program.
#include <gtest/gtest.h>

#include <juce_cryptography/juce_cryptography.h>

#include "selfupdate/Sha256.h"
#include "selfupdate/SelfUpdateJob.h"
#include "selfupdate/UpdatePayload.h"

namespace
{
    struct Folder
    {
        Folder()  { root.createDirectory(); }
        ~Folder() { root.deleteRecursively(); }

        juce::File root = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("quillotone-test-" + juce::Uuid().toString());
    };

    juce::MemoryBlock noise (size_t size, int seed)
    {
        juce::MemoryBlock data (size);
        juce::Random random (seed);
        random.fillBitsRandomly (data.getData(), size);
        return data;
    }
}

TEST (UpdatePayload, StreamingDigestMatchesTheFrameworksWhateverThePieces)
{
    EXPECT_EQ (Sha256().finishAsHex(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

    for (auto size : { 1, 55, 56, 63, 64, 65, 119, 120, 128, 1000, (1 << 20) + 3 })
    {
        const auto data = noise ((size_t) size, size);
        const auto expected = juce::SHA256 (data).toHexString();

        for (auto hardware : { true, false })
        {
            for (auto piece : { 1, 7, 64, 100, 65536 })
            {
                Sha256 hash (hardware);

                for (size_t at = 0; at < data.getSize(); at += (size_t) piece)
                    hash.update (static_cast<const char*> (data.getData()) + at, juce::jmin ((size_t) piece, data.getSize() - at));

                EXPECT_EQ (hash.finishAsHex(), expected) << size << " bytes in pieces of " << piece << (hardware ? " (hardware)" : "");
            }
        }
    }
}

TEST (UpdatePayload, VerifyNeedsTheExactSizeAndDigest)
{
    Folder folder;
    const auto data = noise (300000, 1);
    const auto file = folder.root.getChildFile ("payload.zip");
    ASSERT_TRUE (file.replaceWithData (data.getData(), data.getSize()));
    const UpdateInfo good { "1.3.0", "u", juce::SHA256 (data).toHexString(), 300000 };

    EXPECT_TRUE (UpdatePayload::verifyPayload (file, good));

    auto wrongSize = good;
    wrongSize.size = 299999;
    auto wrongDigest = good;
    wrongDigest.sha256 = juce::SHA256 (noise (300000, 2)).toHexString();
    auto upperCase = good;
    upperCase.sha256 = good.sha256.toUpperCase();

    EXPECT_FALSE (UpdatePayload::verifyPayload (file, wrongSize));
    EXPECT_FALSE (UpdatePayload::verifyPayload (file, wrongDigest));
    EXPECT_FALSE (UpdatePayload::verifyPayload (file, upperCase));
    EXPECT_FALSE (UpdatePayload::verifyPayload (folder.root, good));
    EXPECT_FALSE (UpdatePayload::verifyPayload (folder.root.getChildFile ("missing"), good));
    EXPECT_FALSE (UpdatePayload::verifyPayload (file, good, [] { return true; }));
}

#if ! JUCE_WINDOWS
TEST (UpdatePayload, LinuxStagesOnlyARunnableX86_64Program)
{
    // The stand-in's generated update program: a real, tiny x86-64 executable.
    const auto program = juce::File (QUILLOTONE_STANDIN_CONTENT).getChildFile ("plugin-manager/1.3.0/QuillotonePluginManager-1.3.0-linux-update.AppImage");
    juce::MemoryBlock elf;
    ASSERT_TRUE (program.loadFileAsData (elf));

    struct Case { const char* what; size_t offset; juce::uint8 value; bool program; };
    const Case cases[] = {
        { "as built",                 0,  0x7f, true },
        { "not ELF",                  1,  'X',  false },
        { "32-bit",                   4,  1,    false },
        { "big-endian",               5,  2,    false },
        { "a relocatable object",     16, 1,    false },
        { "a core dump",              16, 4,    false },
        { "for AArch64",              18, 183,  false },
        { "no entry point",           24, 0,    false },
        { "headers past the end",     33, 0x10, false },
        { "an odd header size",       54, 32,   false },
        { "no executable segment",    64 + 4, 4, false },
    };

    for (auto& c : cases)
    {
        Folder folder;
        auto bytes = elf;
        bytes[c.offset] = (char) c.value;

        if (c.offset == 24)
            std::memset (static_cast<char*> (bytes.getData()) + 24, 0, 8);

        const auto payload = folder.root.getChildFile ("payload.AppImage");
        ASSERT_TRUE (payload.replaceWithData (bytes.getData(), bytes.getSize()));
        EXPECT_EQ (UpdatePayload::isElfX86_64Executable (payload), c.program) << c.what;

        const UpdateInfo update { "1.3.0", "u", juce::SHA256 (bytes).toHexString(), (juce::int64) bytes.getSize() };
        const auto staging = folder.root.getChildFile ("staging");
        ASSERT_TRUE (staging.createDirectory());

        juce::String outcome;

        try
        {
            const auto staged = SelfUpdateJob::stage (update, payload, staging, "linux");
            EXPECT_TRUE (UpdatePayload::checkStagedExecutable (staged, update));

            juce::ChildProcess run;
            ASSERT_TRUE (run.start (juce::StringArray { staged.getFullPathName() }));
            EXPECT_EQ (run.readAllProcessOutput().trim(), "Quillotone Plugin Manager 1.3.0 (stand-in update)");
        }
        catch (const std::runtime_error& e)
        {
            outcome = e.what();
        }

        EXPECT_EQ (outcome, c.program ? juce::String() : juce::String (SelfUpdateJob::Messages::unexpectedContents)) << c.what;
    }

    // What the check refuses in the staged program itself.
    Folder folder;
    const auto staged = folder.root.getChildFile ("Quillotone Plugin Manager.AppImage");
    ASSERT_TRUE (program.copyFileTo (staged));
    const UpdateInfo update { "1.3.0", "u", juce::SHA256 (elf).toHexString(), (juce::int64) elf.getSize() };
    ASSERT_TRUE (staged.setExecutePermission (true));
    EXPECT_TRUE (UpdatePayload::checkStagedExecutable (staged, update));

    auto otherDigest = update;
    otherDigest.sha256 = juce::String::repeatedString ("0", 64);
    EXPECT_FALSE (UpdatePayload::checkStagedExecutable (staged, otherDigest));

    const auto link = folder.root.getChildFile ("link");
    ASSERT_TRUE (staged.createSymbolicLink (link, false));
    EXPECT_FALSE (UpdatePayload::checkStagedExecutable (link, update));

    ASSERT_TRUE (staged.setExecutePermission (false));
    EXPECT_FALSE (UpdatePayload::checkStagedExecutable (staged, update));
}

TEST (UpdatePayload, APositionIndependentProgramIsStagedALibraryIsNot)
{
    // Built here by the system's compiler: the manager's own Linux build is
    // such a program, and a library of the same ELF type may have an entry.
    Folder folder;
    const auto source = folder.root.getChildFile ("p.c");
    ASSERT_TRUE (source.replaceWithText ("#include <stdio.h>\n"
                                         "int main (void) { puts (\"position-independent\"); return 0; }\n"
                                         "void entry (void) {}\n"));

    struct Case { const char* what; const char* flags; bool program; };
    const Case cases[] = {
        { "a position-independent program",  "-fPIE -pie",                    true },
        { "a library with an entry point",   "-fPIC -shared -Wl,-e,entry",    false },
    };

    for (auto& c : cases)
    {
        const auto payload = folder.root.getChildFile ("payload.AppImage");
        juce::StringArray command { "cc", "-o", payload.getFullPathName(), source.getFullPathName() };
        command.addTokens (c.flags, false);
        juce::ChildProcess compiler;
        ASSERT_TRUE (compiler.start (command));
        ASSERT_TRUE (compiler.waitForProcessToFinish (60000) && compiler.getExitCode() == 0) << c.what;

        juce::MemoryBlock bytes;
        ASSERT_TRUE (payload.loadFileAsData (bytes));
        const UpdateInfo update { "1.3.0", "u", juce::SHA256 (bytes).toHexString(), (juce::int64) bytes.getSize() };
        const auto staging = folder.root.getChildFile ("staging-" + juce::String (&c - cases));
        ASSERT_TRUE (staging.createDirectory());

        try
        {
            const auto staged = SelfUpdateJob::stage (update, payload, staging, "linux");
            EXPECT_TRUE (c.program) << c.what;

            juce::ChildProcess run;
            ASSERT_TRUE (run.start (juce::StringArray { staged.getFullPathName() }));
            EXPECT_EQ (run.readAllProcessOutput().trim(), "position-independent");
        }
        catch (const std::runtime_error& e)
        {
            EXPECT_FALSE (c.program) << c.what;
            EXPECT_STREQ (e.what(), SelfUpdateJob::Messages::unexpectedContents);
        }
    }
}
#endif
