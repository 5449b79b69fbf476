// The CUPS command-line spooler: `lpstat -d` names the default destination, `lp` queues a
// file. Both run without a shell, so no printer name or title is interpreted.
#pragma once

#include "platform/print/printer.hpp"

namespace platform {

class LpSpooler : public Spooler {
 public:
  std::optional<std::string> default_destination() override;
  bool submit(const std::string& destination,
              const std::string& pdf_path,
              const std::string& title) override;
};

}  // namespace platform
