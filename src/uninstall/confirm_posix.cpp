// The confirmation on the controlling terminal. Standard input is left alone
// so that an installer's pipe can never answer it.
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "text/ascii_case.h"
#include "uninstall/confirm.h"

namespace morvex {
namespace {

enum class Answer { yes, no, unclear, end_of_input };

void write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = write(fd, text.data(), text.size());
    if (written <= 0) return;
    text.remove_prefix(static_cast<size_t>(written));
  }
}

Answer read_answer(int fd) {
  std::string line;
  char c = 0;
  for (;;) {
    const ssize_t got = read(fd, &c, 1);
    if (got <= 0) {
      if (line.empty()) return Answer::end_of_input;
      break;
    }
    if (c == '\n') break;
    line += fold_ascii(c);
  }
  const auto first = line.find_first_not_of(" \t\r");
  const auto last = line.find_last_not_of(" \t\r");
  const std::string word = first == std::string::npos ? "" : line.substr(first, last - first + 1);
  if (word == "y" || word == "yes") return Answer::yes;
  if (word == "n" || word == "no") return Answer::no;
  return Answer::unclear;
}

}  // namespace

Confirmation confirm_uninstall() {
  const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return Confirmation::no_terminal;
  write_all(tty, std::string(kConfirmCaption) + "\n\n" + kConfirmText + " [y/n] ");
  Answer answer;
  while ((answer = read_answer(tty)) == Answer::unclear) write_all(tty, "Please answer yes or no. [y/n] ");
  close(tty);
  return answer == Answer::yes ? Confirmation::yes : Confirmation::no;
}

}  // namespace morvex
