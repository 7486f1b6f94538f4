// ReceiveTextDecoder: turns the bytes of successive receive events into display text (UTF-8).
//
// The bytes of one character may arrive in two events, and a CR LF pair may be cut between
// them, so the decoder keeps its state from one event to the next: the bytes of a character not
// yet complete, and whether the last character shown was a CR. Used on the GUI thread only.
#pragma once

#include <string>
#include <string_view>

#include "text/iconvconverter.h"

namespace talyx::formats {

class ReceiveTextDecoder {
 public:
  // Decodes bytes in charset (any character set iconv knows: UTF-8, GBK, GB18030, ...). Throws
  // std::invalid_argument for an unknown one.
  explicit ReceiveTextDecoder(const std::string& charset);

  // Decodes the bytes of one event and returns what they show:
  // - a character cut at the end stays pending and shows once, whole, when the rest comes;
  // - a byte that cannot start a character shows as U+FFFD, at once also when only the bytes
  //   after it can tell (a control code, a line break above all, never continues a character);
  // - CR, LF and CR LF each give one line break "\n", also when the CR ends one event and the
  //   LF begins the next;
  // - a tab stays a tab; every other control character (NUL included, and DEL) shows as its
  //   visible symbol U+2400 + code (DEL as U+2421), so it can neither cut nor upset the view.
  std::string Decode(std::string_view bytes);

  // Forgets a pending character and a pending CR.
  void Reset();
  // Decodes from now on in charset (as the constructor); a pending character is forgotten.
  void SetCharset(const std::string& charset);

 private:
  void AppendShown(std::string_view decoded, std::string& out);

  IconvConverter converter_;
  std::string pending_;
  bool afterCr_ = false;
};

}  // namespace talyx::formats
