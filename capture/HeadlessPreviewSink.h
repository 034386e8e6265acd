#pragma once

#include "capture/PreviewSink.h"

// The preview where there is no screen: nobody looks, so no frames are made for it.
class HeadlessPreviewSink : public PreviewSink {
public:
    bool wantsFrames() const override { return false; }
    void showFrame(const Surface&, int, int, bool) override {}
};
