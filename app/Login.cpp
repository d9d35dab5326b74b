#include "app/Login.h"

#include <tchar.h>

#include <string>

#include "app/LoginReply.h"
#include "app/LoginRequest.h"
#include "app/ServerAddress.h"
#include "app/Settings.h"
#include "app/StartupHandoff.h"

namespace Umbra {
namespace {

// The three inputs, checked in order; the first empty one is named in the status line.
bool ReadInputs(ILoginForm& form, LoginValues& values) {
  struct Input {
    LoginField field;
    CUIString LoginValues::*value;
    LPCTSTR emptyText;
  };
  static const Input kInputs[] = {
      {LoginField::CompanyNameEdit, &LoginValues::company, _T("公司名不能为空")},
      {LoginField::LoginNameEdit, &LoginValues::name, _T("用户名不能为空")},
      {LoginField::PwdEdit, &LoginValues::password, _T("密码不能为空")},
  };
  for (const Input& input : kInputs) {
    values.*input.value = form.GetText(input.field);
    if ((values.*input.value).IsEmpty()) {
      form.SetText(LoginField::ErrBtn, input.emptyText);
      return false;
    }
  }
  return true;
}

CUIString ReadSavedPassword(LPCTSTR settingsPath) {
  WCHAR value[kSettingBufferSize] = {};
  GetPrivateProfileStringW(_T("user"), _T("password"), _T(""), value, kSettingBufferSize, settingsPath);
  return CUIString(value);
}

CUIString Decimal(int number) {
  CUIString text;
  text.Format(_T("%d"), number);
  return text;
}

void StoreAccount(ILoginForm& form, const LoginReply& reply, LPCTSTR settingsPath) {
  auto write = [settingsPath](LPCTSTR key, LPCTSTR value) {
    WritePrivateProfileStringW(_T("user"), key, value, settingsPath);
  };
  write(_T("id"), Decimal(reply.number));
  write(_T("company"), form.GetText(LoginField::CompanyNameEdit));
  write(_T("username"), form.GetText(LoginField::LoginNameEdit));
  write(_T("password"), reply.text);
  write(_T("cname"), form.IsSelected(LoginField::SaveUname) ? _T("1") : _T("0"));
  write(_T("cpwd"), form.IsSelected(LoginField::SavePWD) ? _T("1") : _T("0"));
}

void StartClient(LPCTSTR folder, int leadingDigit) {
  const CUIString path = CUIString(folder) + (leadingDigit < 7 ? _T("\\Quorvel.exe") : _T("\\Velmora.exe"));
  WCHAR commandLine[] = _T("LoginSuCCeSS");  // the whole command line; CreateProcessW may write to it
  STARTUPINFOW startup = {};
  startup.cb = 68;
  PROCESS_INFORMATION process = {};
  // A client that fails to start ends the launcher all the same.
  if (CreateProcessW(path, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                     &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

void OnLoginSucceeded(ILoginForm& form, IDesktop& desktop, const LoginReply& reply, LPCTSTR folder,
                      LPCTSTR settingsPath) {
  form.SetText(LoginField::ErrBtn, _T("登录成功"));
  StoreAccount(form, reply, settingsPath);
  if (desktop.FindTopWindow(kSecondClientClass, nullptr)) {
    form.SetText(LoginField::ErrBtn, _T("请勿重复登录"));
    return;
  }
  const int digit = LeadingDigit(reply.number);
  WritePrivateProfileStringW(_T("system"), _T("SkinVer"), Decimal(digit), settingsPath);
  StartClient(folder, digit);
  desktop.PostQuit(1);
}

}  // namespace

void StartLogin(ILoginForm& form, IDesktop& desktop, LPCTSTR folder) {
  LoginValues values;
  if (!ReadInputs(form, values)) return;
  form.SetText(LoginField::ErrBtn, _T("登录中..."));

  const CUIString settingsPath = SettingsPathIn(folder);
  values.savedPassword = ReadSavedPassword(settingsPath);
  values.savedPasswordFlag = form.GetSavedPasswordFlag();
  LoginServerAddress server;
  std::string bytes;
  // An unusable configured address is treated as a server that cannot be reached.
  const bool readOk =
      ReadServerAddress(settingsPath, server) && PostLogin(server, BuildLoginBody(values), bytes);

  const LoginReply reply = JudgeReply(readOk, bytes);
  if (reply.kind != ReplyKind::kNumber) return;  // "登录中..." stays, or a too long reply is ignored
  if (reply.number >= kFirstSuccessNumber) {
    OnLoginSucceeded(form, desktop, reply, folder, settingsPath);
  } else if (LPCTSTR verdict = VerdictText(reply.number)) {
    form.SetText(LoginField::ErrBtn, verdict);
  }
}

}  // namespace Umbra
