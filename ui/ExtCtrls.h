// The panel: a raised container that shows its caption in the middle and
// aligns its own children.
#pragma once

#include "ui/Controls.h"

enum class TBevelCut { bvNone, bvLowered, bvRaised };

class TPanel : public TWinControl {
 public:
  explicit TPanel(TComponent* AOwner);
  int ClientWidth() const override { return Width(); }
  int ClientHeight() const override { return Height(); }

 protected:
  void CaptionChanged() override;
};
