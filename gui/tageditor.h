// LAudioTagDataEditor: the "Edit Audio Tags" dialog over an LAudioTagData list.
#pragma once

#include "support/win32/dialog.h"
#include "tags/tagdata.h"

class LAudioTagDataEditor : public LDialog {
  public:
    explicit LAudioTagDataEditor(LAudioTagData& tags) : tags_(tags) {}
    void InitDialog() override;
    bool CmOk() override;

  private:
    LAudioTagData& tags_;
};
