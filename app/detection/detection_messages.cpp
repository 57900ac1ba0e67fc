#include "app/detection/detection_messages.h"

#include "runtime/commands/message_box.h"
#include "runtime/core/text.h"

bool SavePromptConfirmed(const DetectionTexts& texts, std::string_view what) {
  Text prompt = MakeText(texts.promptBefore);
  prompt += what;
  prompt += texts.promptAfter;
  return MessageBoxShow(std::string_view(prompt), kPromptStyle, texts.promptCaption) == kMessageBoxOk;
}

void SavedShow(const DetectionTexts& texts, std::string_view written) {
  Text success = MakeText(texts.successText);
  success += written;
  MessageBoxShow(std::string_view(success), kSuccessStyle, texts.successCaption);
}

void SaveFailedShow(const DetectionTexts& texts) {
  MessageBoxShow(texts.failureText, kFailureStyle, texts.failureCaption);
}

std::int32_t IncompleteChoiceShow(std::string_view warning) {
  return MessageBoxShow(warning, kIncompleteStyle, kIncompleteCaption);
}
