#include <array>
#include <string>

#include "runtime/core/runtime_error.h"

namespace {

constexpr std::array<std::string_view, 12> kCodeTexts = {
    "",
    "数组成员引用下标超出定义范围",
    "未得到所需要的数值型数据",
    "引用数组成员时维数不为1且不等于该数组目前所具有的维数",
    "数组成员引用下标必须大于等于1",
    "数据或数组类型不匹配",
    "调用DLL命令后发现堆栈错误",
    "子语句参数未返回数据或者返回了非系统基本类型或数组型数据",
    "被比较数据只能使用等于或不等于命令比较",
    "“多项选择”命令的索引值参数小于零或超出了所提供参数表范围",
    "“重定义数组”命令的数组维定义参数值必须大于零或单维时大于等于零",
    "所提供参数的数据类型不符合要求",
};

}  // namespace

std::string_view RuntimeErrorCodeText(std::int32_t code) {
  if (code < 0 || static_cast<std::size_t>(code) >= kCodeTexts.size()) return {};
  return kCodeTexts[static_cast<std::size_t>(code)];
}

Text RuntimeErrorMessage(std::string_view text, std::int32_t code) {
  Text message = "运行时出错!\r\n\r\n";
  if (code != 0) {
    message += "错误代码：";
    message += std::to_string(code).c_str();
    message += "\r\n\r\n";
  }
  if (!text.empty()) {
    message += "错误信息：";
    message += text;
    message += "\r\n";
  }
  return message;
}
