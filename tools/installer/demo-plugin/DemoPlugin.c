/* A stand-in plugin for the demo installers: a real Windows DLL whose version
   resource carries the product's catalogue version, so the installed-version
   probe has something true to read. It processes no audio. */

__declspec (dllexport) int quillotone_demo_plugin (void)
{
    return 1;
}
