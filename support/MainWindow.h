#pragma once
// What the core holds of the main window: the owner of its message boxes and
// the window whose events are pumped between records.

#include "support/MessagePump.h"
#include "support/Prompt.h"

class IMainWindow : public IPrompt, public IMessagePump {};
