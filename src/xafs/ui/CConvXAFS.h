#pragma once
// "Conventional XAFS": the measured XAFS normalised for the absorption
// correction, the absorption edge and its core energy (from the list, a
// click on the spectrum or typed), and the selective XAFS on absolute
// energies.

#include "gui/CommandDialog.h"
#include "workspace/workspace.h"
#include "xafs/conv_xafs.h"

class CConvXAFS : public talvern::CommandDialog<talvern::ConvXAFSState> {
 public:
  explicit CConvXAFS(talvern::WorkSpace ws, QWidget* parent = nullptr);
};
