#include "app/LoginForm.h"

#include <tchar.h>

namespace Umbra {

LPCTSTR LoginFieldName(LoginField field) {
  static const LPCTSTR kNames[kLoginFieldCount] = {
      _T("Title"),         _T("CompanyNameEdit"),    _T("CompanyNameEditRight"),
      _T("LoginNameEdit"), _T("LoginNameEditRight"), _T("PwdEdit"),
      _T("PwdEditRight"),  _T("SaveUname"),          _T("SavePWD"),
      _T("LoginBtn"),      _T("RegisterBtn"),        _T("LinkTelBtn"),
      _T("ErrBtn"),
  };
  const int index = static_cast<int>(field);
  return index >= 0 && index < kLoginFieldCount ? kNames[index] : _T("");
}

}  // namespace Umbra
