// One small owner per kind of handle: closed when the owner goes.
#pragma once

#include <windows.h>

namespace winlib {

template <typename H, typename Traits>
class Unique {
 public:
  Unique() = default;
  explicit Unique(H h) : h_(h) {}
  ~Unique() { reset(); }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  Unique(Unique&& o) noexcept : h_(o.release()) {}
  Unique& operator=(Unique&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  H get() const { return h_; }
  explicit operator bool() const { return h_ != Traits::Invalid(); }
  H release() {
    H h = h_;
    h_ = Traits::Invalid();
    return h;
  }
  void reset(H h = Traits::Invalid()) {
    if (h_ != Traits::Invalid()) Traits::Close(h_);
    h_ = h;
  }

 private:
  H h_ = Traits::Invalid();
};

struct RegKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static void Close(HKEY h) { RegCloseKey(h); }
};
using UniqueRegKey = Unique<HKEY, RegKeyTraits>;

struct FontTraits {
  static HFONT Invalid() { return nullptr; }
  static void Close(HFONT h) { DeleteObject(h); }
};
using UniqueFont = Unique<HFONT, FontTraits>;
struct MenuTraits {
  static HMENU Invalid() { return nullptr; }
  static void Close(HMENU h) { DestroyMenu(h); }  // its submenus with it
};
using UniqueMenu = Unique<HMENU, MenuTraits>;

}  // namespace winlib
