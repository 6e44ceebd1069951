#pragma once

#include "foundation/Failure.h"

// A failure whose message was written for the user and is shown on the panel's error line as it
// stands: raised by the targeting code and when the bridge answers with a refusal. Callers tell it
// apart from every other failure: the bridge answered, it did not merely fail to.
class PanelError : public Failure {
public:
    using Failure::Failure;
};
