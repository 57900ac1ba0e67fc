// The messages every detection step shows in its class's texts: the prompt,
// the copy's outcome, and the choice for what is not all cached yet.
#pragma once

#include <cstdint>
#include <string_view>

#include "app/detection/detection_texts.h"

// Asks whether to save `what` (a file's path or an element's web address);
// true when the user confirmed.
bool SavePromptConfirmed(const DetectionTexts& texts, std::string_view what);

// Tells where the copy was written.
void SavedShow(const DetectionTexts& texts, std::string_view written);

// Tells that the copy failed.
void SaveFailedShow(const DetectionTexts& texts);

// Shows `warning` (what is there of an incomplete element or stream) with
// 重试/继续/取消; returns the message-box result.
std::int32_t IncompleteChoiceShow(std::string_view warning);
