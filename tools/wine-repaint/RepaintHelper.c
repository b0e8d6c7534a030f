/* Test-only helper for driving the Windows build under Wine; never shipped,
   and it links nothing of the manager.

   Wine 8 stubs the vertical-blank wait that the framework's Windows peer
   waits on before it paints, so a window redraws only when Wine itself asks
   (map, restore, uncover). This program asks on the app's behalf: every
   interval it invalidates each visible top-level window whose process runs
   the named executable, which makes the window paint what it has queued.

   Usage: quillotone-wine-repaint.exe [EXECUTABLE-NAME [INTERVAL-MS [LIFETIME-S]]]
   Defaults: "Quillotone Plugin Manager.exe", 250 ms, 600 s. It ends by
   itself after the lifetime, so a test that forgets it leaves nothing behind. */

#include <windows.h>
#include <stdio.h>
#include <wchar.h>

static const wchar_t* wantedName = L"Quillotone Plugin Manager.exe";

static int runsWantedExecutable (DWORD processId)
{
    HANDLE process = OpenProcess (PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    wchar_t path[MAX_PATH * 4];
    DWORD length = sizeof (path) / sizeof (path[0]);
    int matches = 0;

    if (process == NULL)
        return 0;

    if (QueryFullProcessImageNameW (process, 0, path, &length))
    {
        const wchar_t* name = wcsrchr (path, L'\\');
        matches = _wcsicmp (name != NULL ? name + 1 : path, wantedName) == 0;
    }

    CloseHandle (process);
    return matches;
}

static BOOL CALLBACK redrawIfWanted (HWND window, LPARAM unused)
{
    (void) unused;
    DWORD processId = 0;

    if (IsWindowVisible (window)
         && GetWindowThreadProcessId (window, &processId) != 0
         && runsWantedExecutable (processId))
        RedrawWindow (window, NULL, NULL, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME);

    return TRUE;
}

int wmain (int argc, wchar_t** argv)
{
    DWORD interval = 250, lifetimeSeconds = 600;
    ULONGLONG started = GetTickCount64();

    if (argc > 1 && argv[1][0] != L'\0')
        wantedName = argv[1];

    if (argc > 2)
        interval = (DWORD) wcstoul (argv[2], NULL, 10);

    if (argc > 3)
        lifetimeSeconds = (DWORD) wcstoul (argv[3], NULL, 10);

    if (interval < 10 || interval > 10000 || lifetimeSeconds == 0)
    {
        fwprintf (stderr, L"usage: quillotone-wine-repaint.exe [EXECUTABLE-NAME [INTERVAL-MS [LIFETIME-S]]]\n");
        return 1;
    }

    while (GetTickCount64() - started < (ULONGLONG) lifetimeSeconds * 1000)
    {
        EnumWindows (redrawIfWanted, 0);
        Sleep (interval);
    }

    return 0;
}
