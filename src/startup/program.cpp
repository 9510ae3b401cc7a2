#include "startup/program.h"

#include "ui/main_window/fdfsg.h"
#include "ui/menu_form/fdfsf.h"

namespace tarnvik {

Program::Program(toolkit::Toolkit& toolkit, const OsApis& apis) : tk(toolkit), os(apis) {}

Program::~Program() = default;

Fdfsg& Program::FDFSG() {
  if (!fdfsg_) fdfsg_ = std::make_unique<Fdfsg>(*this);
  return *fdfsg_;
}

Fdfsf& Program::FDFSF() {
  if (!fdfsf_) fdfsf_ = std::make_unique<Fdfsf>(*this);
  return *fdfsf_;
}

bool Program::FdfsgLoaded() const { return fdfsg_ != nullptr; }
bool Program::FdfsfLoaded() const { return fdfsf_ != nullptr; }

void Program::ReleaseFdfsg() {
  if (fdfsg_) releasedFdfsg_.push_back(std::move(fdfsg_));
}

void Program::ReleaseFdfsf() {
  if (fdfsf_) releasedFdfsf_.push_back(std::move(fdfsf_));
}

}  // namespace tarnvik
