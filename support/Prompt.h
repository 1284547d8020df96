#pragma once
// Messages to the operator: a modal box captioned "提示" with the warning icon
// and one OK button. Returns when the operator has closed it. Text is UTF-8.

#include <string>

class IPrompt {
public:
    virtual ~IPrompt() = default;
    virtual void ShowMessage(const std::string& text) = 0;
};
