// The process-wide settings of CUIHost: module instance, resource module, skin folder, skin
// archive and colour shift. They are kept here, built on first use, so that no window or
// loader can see them before they exist.
#include <tchar.h>

#include <memory>
#include <vector>

#include "ui/core/UIHost.h"
#include "ui/skin/ZipSource.h"

namespace Umbra {
namespace {

struct ProcessSettings {
  HINSTANCE moduleInstance = nullptr;
  HINSTANCE resourceModule = nullptr;  // nothing sets it yet: the module instance stands in
  CUIString skinPath;
  CUIString archiveName;
  bool archiveCached = false;
  std::unique_ptr<CZipSource> archive;  // open while archiveCached
};

ProcessSettings& Settings() {
  static ProcessSettings* settings = new ProcessSettings;  // lives as long as the process
  return *settings;
}

constexpr const WCHAR* kMemoryArchiveName = _T("membuffer");

void RegisterShadowClass(HINSTANCE instance) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  wc.lpszClassName = _T("UmbraShadowWnd");
  RegisterClassExW(&wc);  // a second registration fails harmlessly
}

}  // namespace

void CUIHost::SetModuleInstance(HINSTANCE hInst) {
  Settings().moduleInstance = hInst;
  RegisterShadowClass(hInst);
}

HINSTANCE CUIHost::GetModuleInstance() { return Settings().moduleInstance; }

HINSTANCE CUIHost::GetResourceModule() {
  const ProcessSettings& settings = Settings();
  return settings.resourceModule ? settings.resourceModule : settings.moduleInstance;
}

// A path that does not fit MAX_PATH is read again with more room: cutting a truncated path at
// its last backslash would name the wrong folder.
CUIString CUIHost::GetModuleFolder() {
  HINSTANCE instance = Settings().moduleInstance;
  if (!instance) return CUIString();
  std::vector<WCHAR> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(instance, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return CUIString();
    if (length < path.size()) break;
    if (path.size() >= 32768) return CUIString();  // the longest path Windows has
    path.resize(path.size() * 2);
  }
  CUIString folder(path.data());
  return folder.Left(folder.ReverseFind(_T('\\')) + 1);
}

void CUIHost::SetSkinPath(LPCWSTR pStrPath) {
  CUIString& path = Settings().skinPath;
  path = pStrPath ? pStrPath : _T("");
  if (path.IsEmpty()) return;
  const WCHAR last = path[path.GetLength() - 1];
  if (last != _T('\\') && last != _T('/')) path += _T('\\');
}

const CUIString& CUIHost::GetSkinPath() { return Settings().skinPath; }

void CUIHost::SetSkinArchive(LPCWSTR pStrArchive, bool bCached) {
  ProcessSettings& settings = Settings();
  LPCWSTR name = pStrArchive ? pStrArchive : _T("");
  if (settings.archiveName == name && settings.archiveCached == bCached) return;
  settings.archive.reset();
  settings.archiveName = name;
  settings.archiveCached = bCached;
  if (bCached) settings.archive = CZipSource::OpenFromFile(settings.skinPath + settings.archiveName);
}

void CUIHost::SetSkinArchiveMemory(const BYTE* pData, DWORD dwSize) {
  ProcessSettings& settings = Settings();
  if (settings.archiveName == kMemoryArchiveName) return;
  settings.archive.reset();
  settings.archiveName = kMemoryArchiveName;
  settings.archiveCached = true;
  settings.archive = CZipSource::OpenFromMemory(pData, dwSize);
}

const CUIString& CUIHost::GetSkinArchiveName() { return Settings().archiveName; }

bool CUIHost::IsSkinArchiveCached() { return Settings().archiveCached; }

CZipSource* CUIHost::GetSkinArchiveHandle() { return Settings().archive.get(); }

void CUIHost::GetColorShift(short& H, short& S, short& L) {
  H = 180;
  S = 100;
  L = 100;
}

}  // namespace Umbra
