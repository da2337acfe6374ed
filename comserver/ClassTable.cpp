#include "CClassFactory.h"
#include "ClassEntry.h"
#include "DeskbandClass.h"
#include "IDeskband.h"

// The library's creatable classes. Every field is a constant address, so the table needs no
// static construction.
const ClassEntry ClassTable[] = {
    {&CLSID_Deskband, UpdateDeskbandRegistry, CreateClassFactory, CreateDeskbandInstance, nullptr,
     GetDeskbandDescription, GetDeskbandCategories, DeskbandClassStartStop},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};
