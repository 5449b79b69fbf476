// The CUPS command-line spooler: `lpstat -d` names the default destination, `lpstat -e` every
// destination (one per line), `lp` queues a file. They run without a shell, so no printer name
// or title is interpreted, and in the C locale, so that their answers read the same in every
// language.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/print/printer.hpp"

namespace platform {

class LpSpooler : public Spooler {
 public:
  // The two programs, found through PATH unless given with a path.
  explicit LpSpooler(std::string lpstat = "lpstat", std::string lp = "lp")
      : lpstat_(std::move(lpstat)), lp_(std::move(lp)) {}
  std::optional<std::string> default_destination() override;
  // The default destination first, then the others as lpstat lists them.
  std::vector<std::string> destinations() override;
  bool submit(const std::string& destination,
              const std::string& pdf_path,
              const std::string& title) override;

 private:
  std::string lpstat_;
  std::string lp_;
};

}  // namespace platform
