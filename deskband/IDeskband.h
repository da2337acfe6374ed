#pragma once

#include <windows.h>
#include <oaidl.h>

// The band's dual automation interface. It declares no members of its own; what it offers
// through IDispatch is what the type library describes. Not to be confused with the shell's
// IDeskBand.
extern "C" const IID IID_IDeskband;    // {E818E963-231A-4E57-B501-08CF13EF2867}
extern "C" const CLSID CLSID_Deskband; // {CD656E3A-1EB0-45F4-AC0A-971F694D5734}

struct IDeskband : public IDispatch
{
};
