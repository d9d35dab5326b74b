// The login form: the thirteen named fields of the login window and its saved-password flag.
// The login window implements it with the controls of its skin; the settings and login code
// see only this interface, so they run the same against a plain in-memory form.
#pragma once

#include <windows.h>

#include "ui/core/UIString.h"

namespace Umbra {

// In the order the login window looks them up; each field's name is its control's name in the
// skin (LoginFieldName).
enum class LoginField {
  Title,
  CompanyNameEdit,
  CompanyNameEditRight,
  LoginNameEdit,
  LoginNameEditRight,
  PwdEdit,
  PwdEditRight,
  SaveUname,
  SavePWD,
  LoginBtn,
  RegisterBtn,
  LinkTelBtn,
  ErrBtn,
};
constexpr int kLoginFieldCount = 13;

LPCTSTR LoginFieldName(LoginField field);

class ILoginForm {
 public:
  virtual ~ILoginForm() = default;

  // Text fields.
  virtual CUIString GetText(LoginField field) const = 0;
  virtual void SetText(LoginField field, LPCTSTR text) = 0;
  // Check boxes (SaveUname, SavePWD).
  virtual bool IsSelected(LoginField box) const = 0;
  virtual void SetSelected(LoginField box, bool selected) = 0;

  // 1 when the password field was filled from the settings file at start-up, else 0; every
  // login sends it as "pwdtype".
  virtual int GetSavedPasswordFlag() const = 0;
  virtual void SetSavedPasswordFlag(int flag) = 0;
};

}  // namespace Umbra
