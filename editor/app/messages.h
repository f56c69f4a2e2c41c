// The reasons the core gives for a refused or failed file are one line of
// English (the command-line tool prints them as they are); the editor shows
// them in Chinese.
#pragma once

#include <string>

// "…: version 2.0.0.0 refused (only 3.8.0.0 is read)" →
// "不支持的文件版本 2.0.0.0（只能读取 3.8.0.0 版）". Parts it does not know stay
// as they are, after a Chinese lead, so nothing the core said is lost.
std::string ChineseFileReason(const std::string& reason);
