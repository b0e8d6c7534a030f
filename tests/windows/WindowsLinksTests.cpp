#include "windows/WindowsTestSupport.h"

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>
#include <winioctl.h>

#include <optional>

#include "platform/Platform.h"

using windows_testing::TempFolder;
using WindowsLinks = windows_testing::WineAwareTest;

namespace
{
    // second -> first -> target (a folder), a file link into the target, and
    // a link whose target is gone.
    struct LinkTree
    {
        juce::File target, first, second, fileLink, dangling;

        // False for the host-made tree: Wine shows a Unix link as a reparse
        // point only when it leads to a folder; a link to a file looks like
        // the file, and a broken one like nothing at all.
        bool madeByWindows = true;
    };

    bool makeSymbolicLink (const juce::File& link, const juce::String& target, bool isFolder)
    {
        auto flags = (DWORD) SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
                       | (isFolder ? (DWORD) SYMBOLIC_LINK_FLAG_DIRECTORY : 0u);

        // Wine 8.0 answers TRUE without making anything, hence the second check.
        return CreateSymbolicLinkW (link.getFullPathName().toWideCharPointer(), target.toWideCharPointer(), flags)
                 && GetFileAttributesW (link.getFullPathName().toWideCharPointer()) != INVALID_FILE_ATTRIBUTES;
    }

    std::optional<LinkTree> makeLinkTree (const juce::File& folder)
    {
        LinkTree tree { folder.getChildFile ("target"), folder.getChildFile ("first"), folder.getChildFile ("second"),
                        folder.getChildFile ("plugin-link.clap"), folder.getChildFile ("dangling") };

        if (! tree.target.createDirectory() || ! tree.target.getChildFile ("plugin.clap").replaceWithText ("x"))
            return {};

        auto gone = folder.getChildFile ("gone");
        gone.createDirectory();

        if (makeSymbolicLink (tree.first, tree.target.getFullPathName(), true)
             && makeSymbolicLink (tree.second, "first", true)          // relative
             && makeSymbolicLink (tree.fileLink, tree.target.getChildFile ("plugin.clap").getFullPathName(), false)
             && makeSymbolicLink (tree.dangling, gone.getFullPathName(), true)
             && gone.deleteRecursively())
            return tree;

        return {};
    }

    // The same tree, made on the host by the build (Unix symbolic links, which
    // Wine shows as reparse points).
    LinkTree hostLinkTree()
    {
        auto folder = windows_testing::buildFile (QUILLOTONE_HOST_LINK_FIXTURES);
        return { folder.getChildFile ("target"), folder.getChildFile ("first"), folder.getChildFile ("second"),
                 folder.getChildFile ("plugin-link.clap"), folder.getChildFile ("dangling"), false };
    }
}

TEST_F (WindowsLinks, SymbolicLinksAreDetectedAndResolvedThroughEveryHop)
{
    TempFolder temp;
    auto made = makeLinkTree (temp.folder);

    if (! made.has_value() && ! windows_testing::runningUnderWine())
        GTEST_SKIP() << "creating symbolic links needs Developer Mode or elevation here";

    auto tree = made.has_value() ? *made : hostLinkTree();
    ASSERT_TRUE (tree.target.isDirectory());

    EXPECT_FALSE (platform::isLink (tree.target));
    EXPECT_FALSE (platform::isLink (tree.target.getChildFile ("plugin.clap")));
    EXPECT_TRUE (platform::isLink (tree.first));
    EXPECT_TRUE (platform::isLink (tree.second));

    EXPECT_EQ (platform::resolveLink (tree.second), tree.target);
    EXPECT_EQ (platform::resolveLink (tree.first), tree.target);
    EXPECT_EQ (platform::resolveLink (tree.target), tree.target);

    if (tree.madeByWindows)
    {
        EXPECT_TRUE (platform::isLink (tree.fileLink));
        EXPECT_EQ (platform::resolveLink (tree.fileLink), tree.target.getChildFile ("plugin.clap"));
    }
}

TEST_F (WindowsLinks, BrokenLinksAndMissingPathsResolveToThemselves)
{
    TempFolder temp;
    auto made = makeLinkTree (temp.folder);

    if (! made.has_value() && ! windows_testing::runningUnderWine())
        GTEST_SKIP() << "creating symbolic links needs Developer Mode or elevation here";

    auto tree = made.has_value() ? *made : hostLinkTree();

    if (tree.madeByWindows)
    {
        EXPECT_TRUE (platform::isLink (tree.dangling));
    }

    EXPECT_EQ (platform::resolveLink (tree.dangling), tree.dangling);

    auto missing = temp.folder.getChildFile ("missing");
    EXPECT_FALSE (platform::isLink (missing));
    EXPECT_EQ (platform::resolveLink (missing), missing);
}

TEST_F (WindowsLinks, JunctionsAreLinksToTheirTarget)
{
    TempFolder temp;
    auto target = temp.folder.getChildFile ("VST3 target");
    auto junction = temp.folder.getChildFile ("VST3");
    ASSERT_TRUE (target.createDirectory());
    ASSERT_TRUE (junction.createDirectory());

    // A mount-point reparse buffer: NT path, then the name shown to users.
    std::wstring substitute = L"\\??\\" + std::wstring (target.getFullPathName().toWideCharPointer());
    std::wstring print = target.getFullPathName().toWideCharPointer();
    auto substituteBytes = (WORD) (substitute.size() * sizeof (wchar_t));
    auto printBytes = (WORD) (print.size() * sizeof (wchar_t));

    std::vector<char> buffer (16 + substituteBytes + printBytes + 4, 0);
    auto* header = reinterpret_cast<DWORD*> (buffer.data());
    auto* words = reinterpret_cast<WORD*> (buffer.data());
    header[0] = IO_REPARSE_TAG_MOUNT_POINT;
    words[2] = (WORD) (buffer.size() - 8);
    words[4] = 0;
    words[5] = substituteBytes;
    words[6] = (WORD) (substituteBytes + sizeof (wchar_t));
    words[7] = printBytes;
    memcpy (buffer.data() + 16, substitute.c_str(), substituteBytes);
    memcpy (buffer.data() + 16 + substituteBytes + sizeof (wchar_t), print.c_str(), printBytes);

    auto handle = CreateFileW (junction.getFullPathName().toWideCharPointer(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    ASSERT_NE (handle, INVALID_HANDLE_VALUE);
    DWORD returned = 0;
    auto made = DeviceIoControl (handle, FSCTL_SET_REPARSE_POINT, buffer.data(), (DWORD) buffer.size(),
                                 nullptr, 0, &returned, nullptr);
    auto error = GetLastError();
    CloseHandle (handle);
    ASSERT_TRUE (made) << "FSCTL_SET_REPARSE_POINT failed with " << error;

    EXPECT_TRUE (platform::isLink (junction));
    EXPECT_FALSE (platform::isLink (target));
    EXPECT_EQ (platform::resolveLink (junction), target);
}
