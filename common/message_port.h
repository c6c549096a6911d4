// Modal message boxes as the modules see them: the windows pass a Qt
// implementation, tests pass one that records the boxes and answers them.
#pragma once

#include <string>

namespace common {

// YesNoDefaultNo: No is the default button (Enter answers No), for
// questions where Yes risks data.
enum class MsgButtons { Ok, YesNo, YesNoDefaultNo };
enum class MsgIcon { None, Stop };
enum class MsgAnswer { Ok, Yes, No };

class MessagePort {
 public:
  virtual ~MessagePort() = default;
  // Shows a modal box with `prompt` and `title` (single-byte texts) and
  // returns the button the user chose.
  virtual MsgAnswer Show(const std::string& prompt, const std::string& title, MsgButtons buttons,
                         MsgIcon icon) = 0;
};

}  // namespace common
