/* An automation server of our own for the OLE tests (Windows): the class
   "Kel.TestServer", which DllRegisterServer registers.
   Its members: Twice(n) gives 2n, Half(n) gives n/2 as a 4-byte float, and
   Fail() raises an exception with a description. The tests run under wine,
   where the classes root can be written. */

#ifdef _WIN32

#define COBJMACROS
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <stdio.h>

/* {6B656C54-6573-7453-6572-766572000001} */
static const CLSID kServerClass = {0x6b656c54, 0x6573, 0x7453, {0x65, 0x72, 0x76, 0x65, 0x72, 0x00, 0x00, 0x01}};
static const char kServerClassText[] = "{6B656C54-6573-7453-6572-766572000001}";
static HMODULE serverModule;

enum { MEMBER_TWICE = 1, MEMBER_HALF = 2, MEMBER_FAIL = 3 };

typedef struct {
  IDispatch dispatch;
  LONG references;
} Server;

static HRESULT STDMETHODCALLTYPE ServerQueryInterface(IDispatch* self, REFIID iid, void** out) {
  if (IsEqualIID(iid, &IID_IUnknown) || IsEqualIID(iid, &IID_IDispatch)) {
    *out = self;
    IDispatch_AddRef(self);
    return S_OK;
  }
  *out = NULL;
  return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE ServerAddRef(IDispatch* self) { return InterlockedIncrement(&((Server*)self)->references); }

static ULONG STDMETHODCALLTYPE ServerRelease(IDispatch* self) {
  LONG left = InterlockedDecrement(&((Server*)self)->references);
  if (left == 0) HeapFree(GetProcessHeap(), 0, self);
  return (ULONG)left;
}

static HRESULT STDMETHODCALLTYPE ServerGetTypeInfoCount(IDispatch* self, UINT* count) {
  (void)self;
  *count = 0;
  return S_OK;
}

static HRESULT STDMETHODCALLTYPE ServerGetTypeInfo(IDispatch* self, UINT index, LCID locale, ITypeInfo** info) {
  (void)self, (void)index, (void)locale;
  *info = NULL;
  return E_NOTIMPL;
}

static HRESULT STDMETHODCALLTYPE ServerGetIDsOfNames(IDispatch* self, REFIID iid, LPOLESTR* names, UINT count,
                                                     LCID locale, DISPID* ids) {
  (void)self, (void)iid, (void)locale;
  if (count != 1) return DISP_E_UNKNOWNNAME;
  if (lstrcmpiW(names[0], L"Twice") == 0) {
    ids[0] = MEMBER_TWICE;
  } else if (lstrcmpiW(names[0], L"Half") == 0) {
    ids[0] = MEMBER_HALF;
  } else if (lstrcmpiW(names[0], L"Fail") == 0) {
    ids[0] = MEMBER_FAIL;
  } else {
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  return S_OK;
}

static HRESULT STDMETHODCALLTYPE ServerInvoke(IDispatch* self, DISPID id, REFIID iid, LCID locale, WORD flags,
                                              DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                              UINT* argumentError) {
  VARIANT number;
  (void)self, (void)iid, (void)locale, (void)flags, (void)argumentError;
  if (id == MEMBER_FAIL) {
    if (exception != NULL) {
      memset(exception, 0, sizeof *exception);
      exception->scode = 0x80040201;
      exception->bstrSource = SysAllocString(L"Kel.TestServer");
      exception->bstrDescription = SysAllocString(L"The test server refuses.");
    }
    return DISP_E_EXCEPTION;
  }
  if (parameters->cArgs != 1) return DISP_E_BADPARAMCOUNT;
  VariantInit(&number);
  if (FAILED(VariantChangeType(&number, &parameters->rgvarg[0], 0, VT_R8))) return DISP_E_TYPEMISMATCH;
  if (result == NULL) return S_OK;
  if (id == MEMBER_TWICE) {
    V_VT(result) = VT_I4;
    V_I4(result) = (LONG)(V_R8(&number) * 2);
  } else {
    V_VT(result) = VT_R4;
    V_R4(result) = (float)(V_R8(&number) / 2);
  }
  return S_OK;
}

static IDispatchVtbl serverMethods = {ServerQueryInterface, ServerAddRef,        ServerRelease, ServerGetTypeInfoCount,
                                      ServerGetTypeInfo,    ServerGetIDsOfNames, ServerInvoke};

static HRESULT STDMETHODCALLTYPE FactoryQueryInterface(IClassFactory* self, REFIID iid, void** out) {
  if (IsEqualIID(iid, &IID_IUnknown) || IsEqualIID(iid, &IID_IClassFactory)) {
    *out = self;
    return S_OK;
  }
  *out = NULL;
  return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE FactoryAddRef(IClassFactory* self) {
  (void)self;
  return 2;
}

static ULONG STDMETHODCALLTYPE FactoryRelease(IClassFactory* self) {
  (void)self;
  return 1;
}

static HRESULT STDMETHODCALLTYPE FactoryCreateInstance(IClassFactory* self, IUnknown* outer, REFIID iid, void** out) {
  Server* server;
  HRESULT status;
  (void)self;
  *out = NULL;
  if (outer != NULL) return CLASS_E_NOAGGREGATION;
  server = (Server*)HeapAlloc(GetProcessHeap(), 0, sizeof *server);
  if (server == NULL) return E_OUTOFMEMORY;
  server->dispatch.lpVtbl = &serverMethods;
  server->references = 1;
  status = IDispatch_QueryInterface(&server->dispatch, iid, out);
  IDispatch_Release(&server->dispatch);
  return status;
}

static HRESULT STDMETHODCALLTYPE FactoryLockServer(IClassFactory* self, BOOL lock) {
  (void)self, (void)lock;
  return S_OK;
}

static IClassFactoryVtbl factoryMethods = {FactoryQueryInterface, FactoryAddRef, FactoryRelease, FactoryCreateInstance,
                                           FactoryLockServer};
static IClassFactory factory = {&factoryMethods};

__declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID classId, REFIID iid, void** out) {
  if (!IsEqualCLSID(classId, &kServerClass)) return CLASS_E_CLASSNOTAVAILABLE;
  return IClassFactory_QueryInterface(&factory, iid, out);
}

__declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow(void) { return S_FALSE; }

static BOOL SetKey(const char* key, const char* name, const char* value) {
  HKEY handle;
  BOOL ok;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key, 0, NULL, 0, KEY_WRITE, NULL, &handle, NULL) != ERROR_SUCCESS) {
    return FALSE;
  }
  ok = RegSetValueExA(handle, name, 0, REG_SZ, (const BYTE*)value, (DWORD)strlen(value) + 1) == ERROR_SUCCESS;
  RegCloseKey(handle);
  return ok;
}

/* Registers the class and its ProgID under the classes root. */
__declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer(void) {
  char path[MAX_PATH];
  char key[200];
  GetModuleFileNameA(serverModule, path, sizeof path);
  snprintf(key, sizeof key, "CLSID\\%s\\InprocServer32", kServerClassText);
  if (!SetKey(key, NULL, path) || !SetKey(key, "ThreadingModel", "Apartment")) return E_FAIL;
  if (!SetKey("Kel.TestServer\\CLSID", NULL, kServerClassText)) return E_FAIL;
  return S_OK;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) serverModule = instance;
  return TRUE;
}

#endif
