#include "app/Settings.h"

#include <tchar.h>

#include <vector>

namespace Umbra {
namespace {

CUIString ReadString(LPCTSTR section, LPCTSTR key, LPCTSTR path) {
  WCHAR value[kSettingBufferSize] = {};
  GetPrivateProfileStringW(section, key, _T(""), value, kSettingBufferSize, path);
  return CUIString(value);
}

bool IsOn(LPCTSTR section, LPCTSTR key, LPCTSTR path) {
  return GetPrivateProfileIntW(section, key, 0, path) == 1;
}

}  // namespace

CUIString GetExecutableFolder() {
  // Grown until the whole path fits: a cut path would put the settings in another folder.
  std::vector<WCHAR> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return CUIString();
    if (length < buffer.size()) break;
    buffer.resize(buffer.size() * 2);
  }
  CUIString path(buffer.data());
  const int slash = path.ReverseFind(_T('\\'));
  return slash < 0 ? CUIString() : path.Left(slash);
}

CUIString SettingsPathIn(LPCTSTR folder) { return CUIString(folder) + _T("\\config.ini"); }

void SweepCacheFolder(LPCTSTR folder) {
  const CUIString caches = CUIString(folder) + _T("\\caches\\");
  WIN32_FIND_DATAW entry = {};
  HANDLE find = FindFirstFileW(caches + _T("*"), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (lstrcmpW(entry.cFileName, _T(".")) == 0 || lstrcmpW(entry.cFileName, _T("..")) == 0) continue;
    DeleteFileW(caches + entry.cFileName);  // refuses folders, which therefore stay
  } while (FindNextFileW(find, &entry));
  FindClose(find);
}

void LoadStartupSettings(ILoginForm& form, LPCTSTR folder) {
  const CUIString path = SettingsPathIn(folder);
  const CUIString company = ReadString(_T("user"), _T("company"), path);
  const CUIString userName = ReadString(_T("user"), _T("username"), path);
  const CUIString password = ReadString(_T("user"), _T("password"), path);
  const bool saveName = IsOn(_T("user"), _T("cname"), path);
  const bool savePassword = IsOn(_T("user"), _T("cpwd"), path);

  if (IsOn(_T("system"), _T("CLEARCACHE"), path)) {
    SweepCacheFolder(folder);
    WritePrivateProfileStringW(_T("system"), _T("CLEARCACHE"), _T("0"), path);
  }
  if (saveName) {
    form.SetSelected(LoginField::SaveUname, true);
    form.SetText(LoginField::CompanyNameEdit, company);
    form.SetText(LoginField::LoginNameEdit, userName);
  }
  form.SetSavedPasswordFlag(0);
  if (savePassword) {
    form.SetSelected(LoginField::SavePWD, true);
    form.SetText(LoginField::PwdEdit, password);
    form.SetSavedPasswordFlag(1);
  }
}

}  // namespace Umbra
