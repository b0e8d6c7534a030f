/* Test-only helper for the Windows build under Wine; never shipped, and it
   links nothing of the manager.

   Asks the accessibility layer, as a screen reader would, for the names under
   a top-level window whose title is exactly the given one, and reports
   whether one of them contains the given text. UI Automation is tried first
   (FindAll over the descendants, then the flat UiaFind), then MSAA (IAccessible children, walked
   recursively). Every HRESULT is printed, so a run that finds nothing tells
   which layer refused.

   Usage: quillotone-wine-uia-probe.exe WINDOW-TITLE TEXT
   Exit: 0 found, 1 not found, 2 no such window, 3 no answer within 20 s. */

#define COBJMACROS
#define CINTERFACE
#include <windows.h>
#include <ole2.h>
#include <oleacc.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

static const wchar_t* wantedText;
static int found;

static void consider (const char* layer, BSTR name)
{
    if (name == NULL)
        return;
    wprintf (L"%hs name: %ls\n", layer, name);
    if (wcsstr (name, wantedText) != NULL)
        found = 1;
}

/* mingw-w64's headers lack the UI Automation client interfaces, so the few
   methods used are called by their vtable slots (UIAutomationClient.idl). */
static const GUID clsidCUIAutomation = { 0xff48dba4, 0x60ef, 0x4201, { 0xaa, 0x87, 0x54, 0x10, 0x3e, 0xef, 0x59, 0x4e } };
static const GUID iidIUIAutomation = { 0x30cbe57d, 0xd9d0, 0x452a, { 0xab, 0x13, 0x7a, 0xc5, 0xac, 0x48, 0x25, 0xee } };

enum
{
    releaseSlot = 2,
    automationElementFromHandle = 6,
    automationCreateTrueCondition = 21,
    elementFindAll = 6,
    elementCurrentName = 23,
    arrayLength = 3,
    arrayGetElement = 4,
    treeScopeDescendants = 4
};

#define SLOT(object, index, type) ((type) ((*(void***) (object))[index]))

typedef ULONG (STDMETHODCALLTYPE* ReleaseFn) (void*);
typedef HRESULT (STDMETHODCALLTYPE* HandleFn) (void*, HWND, void**);
typedef HRESULT (STDMETHODCALLTYPE* OutFn) (void*, void**);
typedef HRESULT (STDMETHODCALLTYPE* FindAllFn) (void*, int, void*, void**);
typedef HRESULT (STDMETHODCALLTYPE* IntFn) (void*, int*);
typedef HRESULT (STDMETHODCALLTYPE* GetElementFn) (void*, int, void**);
typedef HRESULT (STDMETHODCALLTYPE* NameFn) (void*, BSTR*);

static void release (void* object)
{
    if (object != NULL)
        SLOT (object, releaseSlot, ReleaseFn) (object);
}

/* Wine's prefix may lack the class's registration although the library
   implements it: ask the library for it directly. */
typedef HRESULT (STDAPICALLTYPE* GetClassObjectFn) (REFCLSID, REFIID, void**);

static HRESULT createFromLibrary (void** automation)
{
    HMODULE library = LoadLibraryW (L"uiautomationcore.dll");
    GetClassObjectFn getClassObject = library != NULL
        ? (GetClassObjectFn) (void*) GetProcAddress (library, "DllGetClassObject") : NULL;
    IClassFactory* factory = NULL;
    HRESULT hr;

    if (getClassObject == NULL)
    {
        wprintf (L"uia uiautomationcore.dll DllGetClassObject: missing\n");
        return E_NOINTERFACE;
    }
    hr = getClassObject (&clsidCUIAutomation, &IID_IClassFactory, (void**) &factory);
    wprintf (L"uia DllGetClassObject: 0x%08lx\n", (unsigned long) hr);
    if (FAILED (hr) || factory == NULL)
        return FAILED (hr) ? hr : E_POINTER;
    hr = IClassFactory_CreateInstance (factory, NULL, &iidIUIAutomation, automation);
    wprintf (L"uia IClassFactory::CreateInstance: 0x%08lx\n", (unsigned long) hr);
    IClassFactory_Release (factory);
    return hr;
}

/* The flat client API of the same library, which Wine implements apart from
   the COM client; declared here as mingw-w64 has no import library for it. */
typedef void* UiaNode;
struct UiaConditionHeader { int conditionType; };
struct UiaCacheRequestData
{
    struct UiaConditionHeader* viewCondition;
    int scope;
    int* properties;
    int propertyCount;
    int* patterns;
    int patternCount;
    int elementMode;
};
struct UiaFindParamsData
{
    int maxDepth;
    BOOL findFirst;
    BOOL excludeRoot;
    struct UiaConditionHeader* findCondition;
};
typedef HRESULT (WINAPI* NodeFromHandleFn) (HWND, UiaNode*);
typedef HRESULT (WINAPI* FindFn) (UiaNode, struct UiaFindParamsData*, struct UiaCacheRequestData*,
                                  SAFEARRAY**, SAFEARRAY**, SAFEARRAY**);
typedef BOOL (WINAPI* NodeReleaseFn) (UiaNode);
typedef HRESULT (WINAPI* GetPropertyFn) (UiaNode, int, VARIANT*);

static void probeUiaCore (HWND window)
{
    HMODULE library = LoadLibraryW (L"uiautomationcore.dll");
    NodeFromHandleFn nodeFromHandle = library != NULL ? (NodeFromHandleFn) (void*) GetProcAddress (library, "UiaNodeFromHandle") : NULL;
    FindFn find = library != NULL ? (FindFn) (void*) GetProcAddress (library, "UiaFind") : NULL;
    NodeReleaseFn nodeRelease = library != NULL ? (NodeReleaseFn) (void*) GetProcAddress (library, "UiaNodeRelease") : NULL;
    UiaNode node = NULL;

    if (nodeFromHandle == NULL || find == NULL || nodeRelease == NULL)
    {
        wprintf (L"uia core: no UiaNodeFromHandle/UiaFind/UiaNodeRelease\n");
        return;
    }
    HRESULT hr = nodeFromHandle (window, &node);
    wprintf (L"uia UiaNodeFromHandle: 0x%08lx\n", (unsigned long) hr);
    if (FAILED (hr) || node == NULL)
        return;

    GetPropertyFn getProperty = (GetPropertyFn) (void*) GetProcAddress (library, "UiaGetPropertyValue");
    if (getProperty != NULL)
    {
        VARIANT value;
        VariantInit (&value);
        hr = getProperty (node, 30005, &value);
        wprintf (L"uia UiaGetPropertyValue(root, Name): 0x%08lx vt %d\n", (unsigned long) hr, value.vt);
        if (SUCCEEDED (hr) && value.vt == VT_BSTR)
            consider ("uia core root", value.bstrVal);
        VariantClear (&value);
    }

    struct UiaConditionHeader trueCondition = { 1 /* ConditionType_True */ };
    int nameProperty = 30005; /* UIA_NamePropertyId */
    struct UiaCacheRequestData request = { &trueCondition, 1 /* TreeScope_Element */, &nameProperty, 1, NULL, 0, 1 /* Full */ };
    struct UiaFindParamsData params = { -1, FALSE, FALSE, &trueCondition };
    SAFEARRAY* data = NULL;
    SAFEARRAY* offsets = NULL;
    SAFEARRAY* structures = NULL;

    hr = find (node, &params, &request, &data, &offsets, &structures);
    wprintf (L"uia UiaFind: 0x%08lx\n", (unsigned long) hr);
    if (SUCCEEDED (hr) && data != NULL)
    {
        VARIANT* values = NULL;
        ULONG total = 1;
        for (UINT d = 1; d <= SafeArrayGetDim (data); ++d)
        {
            LONG low = 0, high = -1;
            SafeArrayGetLBound (data, d, &low);
            SafeArrayGetUBound (data, d, &high);
            total *= (ULONG) (high - low + 1);
        }
        wprintf (L"uia UiaFind values: %lu\n", total);
        if (SUCCEEDED (SafeArrayAccessData (data, (void**) &values)))
        {
            for (ULONG i = 0; i < total; ++i)
                if (values[i].vt == VT_BSTR)
                    consider ("uia core", values[i].bstrVal);
            SafeArrayUnaccessData (data);
        }
    }
    if (data != NULL) SafeArrayDestroy (data);
    if (offsets != NULL) SafeArrayDestroy (offsets);
    if (structures != NULL) SafeArrayDestroy (structures);
    nodeRelease (node);
}

static void probeUia (HWND window)
{
    void* automation = NULL;
    void* root = NULL;
    void* all = NULL;
    void* elements = NULL;
    BSTR name = NULL;
    int count = 0;

    HRESULT hr = CoCreateInstance (&clsidCUIAutomation, NULL, CLSCTX_INPROC_SERVER,
                                   &iidIUIAutomation, &automation);
    wprintf (L"uia CoCreateInstance: 0x%08lx\n", (unsigned long) hr);
    if (FAILED (hr) && getenv ("QUILLOTONE_UIA_FROM_LIBRARY") != NULL)
        hr = createFromLibrary (&automation);
    if (FAILED (hr) || automation == NULL)
        return;

    hr = SLOT (automation, automationElementFromHandle, HandleFn) (automation, window, &root);
    wprintf (L"uia ElementFromHandle: 0x%08lx\n", (unsigned long) hr);
    if (SUCCEEDED (hr) && root != NULL)
    {
        hr = SLOT (root, elementCurrentName, NameFn) (root, &name);
        wprintf (L"uia root get_CurrentName: 0x%08lx\n", (unsigned long) hr);
        consider ("uia root", name);
        SysFreeString (name);

        hr = SLOT (automation, automationCreateTrueCondition, OutFn) (automation, &all);
        wprintf (L"uia CreateTrueCondition: 0x%08lx\n", (unsigned long) hr);
        if (SUCCEEDED (hr) && all != NULL)
        {
            hr = SLOT (root, elementFindAll, FindAllFn) (root, treeScopeDescendants, all, &elements);
            wprintf (L"uia FindAll: 0x%08lx\n", (unsigned long) hr);
            if (SUCCEEDED (hr) && elements != NULL)
            {
                SLOT (elements, arrayLength, IntFn) (elements, &count);
                wprintf (L"uia FindAll elements: %d\n", count);
                for (int i = 0; i < count; ++i)
                {
                    void* element = NULL;
                    if (SUCCEEDED (SLOT (elements, arrayGetElement, GetElementFn) (elements, i, &element)) && element != NULL)
                    {
                        name = NULL;
                        if (SUCCEEDED (SLOT (element, elementCurrentName, NameFn) (element, &name)))
                            consider ("uia", name);
                        SysFreeString (name);
                        release (element);
                    }
                }
                release (elements);
            }
            release (all);
        }
        release (root);
    }
    release (automation);
}

static void walkMsaa (IAccessible* parent, int depth)
{
    long count = 0;
    HRESULT hr = IAccessible_get_accChildCount (parent, &count);
    if (depth == 0)
        wprintf (L"msaa get_accChildCount: 0x%08lx (%ld)\n", (unsigned long) hr, count);
    if (FAILED (hr) || count <= 0 || depth > 8)
        return;

    VARIANT* children = calloc ((size_t) count, sizeof (VARIANT));
    long obtained = 0;
    hr = AccessibleChildren (parent, 0, count, children, &obtained);
    if (depth == 0)
        wprintf (L"msaa AccessibleChildren: 0x%08lx (%ld)\n", (unsigned long) hr, obtained);

    for (long i = 0; i < obtained; ++i)
    {
        BSTR name = NULL;
        if (children[i].vt == VT_DISPATCH && children[i].pdispVal != NULL)
        {
            IAccessible* child = NULL;
            if (SUCCEEDED (IDispatch_QueryInterface (children[i].pdispVal, &IID_IAccessible, (void**) &child)))
            {
                VARIANT self;
                VariantInit (&self);
                self.vt = VT_I4;
                self.lVal = CHILDID_SELF;
                if (SUCCEEDED (IAccessible_get_accName (child, self, &name)))
                    consider ("msaa", name);
                SysFreeString (name);
                walkMsaa (child, depth + 1);
                IAccessible_Release (child);
            }
        }
        else if (children[i].vt == VT_I4)
        {
            if (SUCCEEDED (IAccessible_get_accName (parent, children[i], &name)))
                consider ("msaa", name);
            SysFreeString (name);
        }
        VariantClear (&children[i]);
    }
    free (children);
}

static void probeMsaa (HWND window)
{
    IAccessible* client = NULL;
    HRESULT hr = AccessibleObjectFromWindow (window, (DWORD) OBJID_CLIENT, &IID_IAccessible, (void**) &client);
    wprintf (L"msaa AccessibleObjectFromWindow: 0x%08lx\n", (unsigned long) hr);
    if (FAILED (hr) || client == NULL)
        return;
    walkMsaa (client, 0);
    IAccessible_Release (client);
}

static DWORD WINAPI probe (void* window)
{
    HRESULT hr = CoInitializeEx (NULL, COINIT_MULTITHREADED);
    wprintf (L"CoInitializeEx: 0x%08lx\n", (unsigned long) hr);
    probeUia ((HWND) window);
    if (! found)
        probeUiaCore ((HWND) window);
    if (! found)
        probeMsaa ((HWND) window);
    CoUninitialize ();
    return 0;
}

int wmain (int argc, wchar_t** argv)
{
    if (argc != 3)
    {
        fwprintf (stderr, L"usage: quillotone-wine-uia-probe.exe WINDOW-TITLE TEXT\n");
        return 2;
    }
    wantedText = argv[2];
    setvbuf (stdout, NULL, _IONBF, 0);

    HWND window = FindWindowW (NULL, argv[1]);
    if (window == NULL)
    {
        wprintf (L"no window titled %ls\n", argv[1]);
        return 2;
    }

    /* A provider that never answers must not hold the test: the probing runs
       on its own thread and the wait for it is bounded. */
    HANDLE worker = CreateThread (NULL, 0, probe, window, 0, NULL);
    if (worker == NULL || WaitForSingleObject (worker, 20000) != WAIT_OBJECT_0)
    {
        wprintf (L"timed out after 20 s waiting for the accessibility layer\n");
        fflush (stdout);
        ExitProcess (3);
    }
    CloseHandle (worker);

    wprintf (found ? L"found: %ls\n" : L"not found: %ls\n", wantedText);
    fflush (stdout);
    return found ? 0 : 1;
}
