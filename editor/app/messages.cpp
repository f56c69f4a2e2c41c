#include "editor/app/messages.h"

#include <regex>
#include <utility>
#include <vector>

namespace {

// System error texts as strerror gives them in the C locale.
const std::vector<std::pair<const char*, const char*>> kErrnoTexts = {
    {"No such file or directory", "文件或文件夹不存在"},
    {"Permission denied", "没有访问权限"},
    {"Is a directory", "这是一个文件夹"},
    {"Not a directory", "路径中有一部分不是文件夹"},
    {"No space left on device", "磁盘空间不足"},
    {"Read-only file system", "文件系统是只读的"},
    {"Disk quota exceeded", "超出磁盘配额"},
    {"File name too long", "文件名太长"},
    {"Too many levels of symbolic links", "符号链接层数太多"},
    {"Input/output error", "读写错误"},
    {"File too large", "文件太大"},
    {"Cannot allocate memory", "内存不足"},
    {"Operation not permitted", "不允许这样操作"},
    {"Device or resource busy", "设备或资源正忙"},
};

std::string ReplaceAll(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size()) s.replace(at, from.size(), to);
  return s;
}

}  // namespace

std::string ChineseFileReason(const std::string& reason) {
  std::smatch m;
  static const std::regex version(R"(version ([0-9.]+) refused \(only ([0-9.]+) is read\))");
  if (std::regex_search(reason, m, version))
    return "不支持的文件版本 " + m[1].str() + "（只能读取 " + m[2].str() + " 版）";
  static const std::regex tooShort(R"(is not a score \(too short\))");
  if (std::regex_search(reason, tooShort)) return "这不是乐谱文件（文件太短）";
  static const std::regex notRegular(R"(is not a regular file)");
  if (std::regex_search(reason, notRegular)) return "不是普通文件";
  static const std::regex atByte(R"(^(.*) at byte ([0-9]+)$)");
  if (std::regex_match(reason, m, atByte)) {
    std::string what = m[1].str();
    const size_t colon = what.rfind(": ");
    if (colon != std::string::npos) what = what.substr(colon + 2);
    return "文件已损坏或不完整：在第 " + m[2].str() + " 字节处读不下去（" + what + "）";
  }
  for (const auto& [en, zh] : kErrnoTexts) {
    if (reason.find(en) == std::string::npos) continue;
    std::string lead = "无法访问文件";
    if (reason.rfind("cannot open", 0) == 0 || reason.find("open") != std::string::npos) lead = "无法打开文件";
    if (reason.find("write") != std::string::npos || reason.find("rename") != std::string::npos ||
        reason.find("create") != std::string::npos || reason.find("fsync") != std::string::npos)
      lead = "无法写入文件";
    return lead + "：" + zh;
  }
  if (reason.empty()) return "未知错误";
  return "无法处理文件：" + ReplaceAll(reason, "\n", " ");
}
