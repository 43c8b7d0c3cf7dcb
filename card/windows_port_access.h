// The card's control register on Windows: out of reach. Windows runs user
// programs without I/O port access (an _inpd or _outpd would fault), and no
// driver for the card's register ships with the program.
#pragma once

#include "card/port_access.h"

class WindowsPortAccess : public PortAccess {
 public:
  /// Always false; `why` says that Windows gives programs no I/O port access.
  bool Available(uint16_t port, std::string& why) override;
  /// Nothing; `why` as for Available.
  std::optional<uint32_t> In32(uint16_t port, std::string& why) override;
  /// Writes nothing and returns false; `why` as for Available.
  bool Out32(uint16_t port, uint32_t value, std::string& why) override;
  std::string Route() const override { return {}; }
};
