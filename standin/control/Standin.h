// The stand-in movie control: an in-process COM class that answers to the
// Shockwave Flash class id and plays a movie's timeline in a child window.
// Built as a static library so a program can carry the class itself and
// create it through its class factory where nothing is registered; the
// swfstandin DLL wraps the same library as a registrable server.
#pragma once
#include <windows.h>

namespace standin {

// {D27CDB6E-AE6D-11CF-96B8-444553540000}
constexpr CLSID kClsidMovieControl = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {D27CDB6C-AE6D-11CF-96B8-444553540000}: the control's dual interface. Only its
// IDispatch part is implemented; callers bind its members by name.
constexpr IID kIidMovieControlDual = {0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// Dispatch ids of the members.
constexpr DISPID kDispMovie = 102;
constexpr DISPID kDispBackgroundColor = 123;
constexpr DISPID kDispTotalFrames = 124;
constexpr DISPID kDispPlay = 112;
constexpr DISPID kDispRewind = 115;
constexpr DISPID kDispCurrentFrame = 128;

// Class name of the control's in-place window.
constexpr wchar_t kStageWindowClass[] = L"SwfStandinStage";

// Number of live objects and server locks (for DllCanUnloadNow).
long LiveCount();
// Frees module-wide resources (the window class) once nothing is alive.
void ReleaseModuleResources();

}  // namespace standin

// The class factory for kClsidMovieControl (CLASS_E_CLASSNOTAVAILABLE for
// any other class), with the signature of DllGetClassObject.
HRESULT StandinGetClassObject(REFCLSID clsid, REFIID iid, void** out);
