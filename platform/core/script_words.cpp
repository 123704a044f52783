#include "platform/core/script_words.h"

namespace varlo {

namespace {

bool IsPlainWordCharacter(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '_':
    case '.':
    case '-':
    case '+':
    case ',':
    case ':':
    case '/':
    case '@':
    case '%':
    case '=':
    case '~':
      return true;
    default:
      return false;
  }
}

bool IsControlCharacter(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7F;
}

}  // namespace

std::string TclFileWord(const std::string& name) {
  for (char c : name) {
    if (c == '{' || c == '}' || c == '\\' || IsControlCharacter(c)) {
      throw CScriptNameException("The file name \"" + name +
                                 "\" cannot be written into a simulator script: it holds a brace, a "
                                 "backslash or a control character.");
    }
  }
  const std::string word = !name.empty() && name.front() == '|' ? "./" + name : name;
  bool plain = !word.empty();
  for (char c : word) plain = plain && IsPlainWordCharacter(c);
  return plain ? word : "{" + word + "}";
}

const std::string& CheckQNSFileField(const std::string& name) {
  for (char c : name) {
    if (IsControlCharacter(c)) {
      throw CScriptNameException("The file name \"" + name +
                                 "\" cannot be written into a qns script: it holds a line break or "
                                 "another control character.");
    }
  }
  return name;
}

}  // namespace varlo
