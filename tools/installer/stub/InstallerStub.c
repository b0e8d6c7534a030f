/* The program part of the maker's installers. The manager never runs it: it
   has quillex unpack the payload appended to this program. Started by hand,
   it says where the product is installed from. */

#include <windows.h>

int WINAPI wWinMain (HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show)
{
    (void) instance;
    (void) previous;
    (void) commandLine;
    (void) show;

    MessageBoxW (NULL,
                 L"This installer is unpacked by the Quillotone Plugin Manager.\n\n"
                 L"Open the manager, log in and install the product from there.",
                 L"Quillotone installer", MB_OK | MB_ICONINFORMATION);
    return 0;
}
