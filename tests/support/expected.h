// What the tests expect of a run, in the forms the program and the controls
// give it: console bytes, the controls' log of texts, and the digest text.
#ifndef SIGNCTL_TESTS_SUPPORT_EXPECTED_H
#define SIGNCTL_TESTS_SUPPORT_EXPECTED_H

#include <string>

// The console's messages, as bytes on a redirected standard output.
extern const std::string kCreated;      // 获取控件接口库成功 and a line end
extern const std::string kNotCreated;   // 获取控件接口库失败 and a line end
extern const std::string kNotInstalled; // 判断控件是否安装, before ",hr = ..."
extern const std::string kNoUkey;       // 检查Ukey是否连接, before ",hr = ..."
extern const std::string kInitFailed;   // 初始化失败 and a line end

extern const char kSignatureFile[]; // "TCERT_RSA.tmp"

// A text as the controls log it (code units in lower-case hex inside
// brackets) and, without brackets, as the scripted control's script gives it.
std::string Units(const std::u16string& text, bool brackets = true);

// Each byte of bytes as the code unit of the same value: the ISO-8859-1
// reading of narrow text on POSIX.
std::u16string Latin1(const std::string& bytes);

// The bytes 1 to 255 in order: every byte a zero-terminated narrow text can
// hold.
std::string EveryByteButZero();

// The raw SHA-1 of content up to its first zero byte: the narrow text that
// the program makes the digest text from.
std::string DigestBytes(const std::string& content);

#endif
