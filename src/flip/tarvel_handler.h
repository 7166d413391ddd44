// The handler of the "Tarvel" macro: flips between the open windows.
#pragma once

#include "macro/macro.h"

class CTarvelHandler : public CHandler {
public:
    CTarvelHandler() = default;

    int32_t Execute(MacroContext* context) override;
    void Destroy() override;
};
