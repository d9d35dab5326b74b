// An in-memory login form and a recording desktop, for driving the launcher's logic in tests.
#pragma once

#include <tchar.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "app/Desktop.h"
#include "app/LoginForm.h"

class InMemoryForm final : public Umbra::ILoginForm {
 public:
  Umbra::CUIString GetText(Umbra::LoginField field) const override {
    auto it = m_texts.find(field);
    return it == m_texts.end() ? Umbra::CUIString() : Umbra::CUIString(it->second.c_str());
  }
  void SetText(Umbra::LoginField field, LPCTSTR text) override { m_texts[field] = text ? text : u""; }
  bool IsSelected(Umbra::LoginField box) const override {
    auto it = m_selected.find(box);
    return it != m_selected.end() && it->second;
  }
  void SetSelected(Umbra::LoginField box, bool selected) override { m_selected[box] = selected; }
  int GetSavedPasswordFlag() const override { return m_flag; }
  void SetSavedPasswordFlag(int flag) override { m_flag = flag; }

  std::u16string Text(Umbra::LoginField field) const {
    return m_texts.count(field) ? m_texts.at(field) : u"";
  }
  bool WasSet(Umbra::LoginField field) const { return m_texts.count(field) != 0; }

 private:
  std::map<Umbra::LoginField, std::u16string> m_texts;
  std::map<Umbra::LoginField, bool> m_selected;
  int m_flag = -1;  // neither 0 nor 1: shows whether the code under test set it
};

class FakeDesktop final : public Umbra::IDesktop {
 public:
  struct Window {
    std::u16string className;
    std::u16string title;
  };
  struct CopyData {
    HWND target;
    ULONG_PTR dwData;
    DWORD cbData;
    std::string bytes;
  };

  // Adds a top-level window of another program; returns its handle.
  HWND AddWindow(const std::u16string& className, const std::u16string& title) {
    m_windows.push_back({className, title});
    return HandleOf(m_windows.size() - 1);
  }

  HWND FindTopWindow(LPCTSTR className, LPCTSTR windowName) override {
    m_lookups.push_back({className ? className : u"", windowName ? windowName : u""});
    for (size_t i = 0; i < m_windows.size(); ++i) {
      if ((!className || m_windows[i].className == className) &&
          (!windowName || m_windows[i].title == windowName)) {
        return HandleOf(i);
      }
    }
    return nullptr;
  }
  LRESULT SendCopyData(HWND target, ULONG_PTR dwData, DWORD cbData, const void* lpData) override {
    m_sent.push_back({target, dwData, cbData, std::string(static_cast<const char*>(lpData), cbData)});
    return TRUE;
  }
  void PostQuit(int exitCode) override { m_quitCodes.push_back(exitCode); }

  const std::vector<Window>& Lookups() const { return m_lookups; }
  const std::vector<CopyData>& Sent() const { return m_sent; }
  const std::vector<int>& QuitCodes() const { return m_quitCodes; }

 private:
  static HWND HandleOf(size_t index) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000 + 4 * index));
  }

  std::vector<Window> m_windows;
  std::vector<Window> m_lookups;
  std::vector<CopyData> m_sent;
  std::vector<int> m_quitCodes;
};
