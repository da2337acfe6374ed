#pragma once

#include <windows.h>
#include <objbase.h>
#include <comcat.h>

// Creates an object of a class: standalone when pUnkOuter is null, else inside that aggregate.
using PFNCREATEINSTANCE = HRESULT (*)(IUnknown* pUnkOuter, REFIID riid, void** ppv);
// Creates a class's class object around its instance creator.
using PFNCREATECLASSOBJECT = HRESULT (*)(PFNCREATEINSTANCE pfnCreateInstance, REFIID riid, void** ppv);

enum eCategoryKind
{
    eCategoryEnd = 0,
    eCategoryImplemented = 1,
};

// One component category of a class; a table of them ends with an eCategoryEnd row.
struct CategoryEntry
{
    int nKind;
    const CATID* pcatid;
};

// One creatable class of the library. The class table is a constant array of these ended by
// a row whose CLSID is null; only a row's cached class object changes at run time.
struct ClassEntry
{
    const CLSID* pclsid;
    HRESULT (*pfnUpdateRegistry)(BOOL fRegister);
    PFNCREATECLASSOBJECT pfnCreateClassObject;
    PFNCREATEINSTANCE pfnCreateInstance;
    // Created at the first request for the class and kept, with one reference, until detach.
    mutable IUnknown* pClassObject;
    LPCSTR (*pfnGetDescription)();
    const CategoryEntry* (*pfnGetCategories)();
    void (*pfnClassStartStop)(bool fStarting);
};
