#include "ui/commands/about.h"

#include "base/program_identity.h"
#include "tarnvik_version.h"

namespace tarnvik {

const std::string& AboutText() {
  // Lines end in a CR alone and fields follow a TAB, as the box has always shown them.
  static const std::string text = std::string(
      "***  QELM Tarnvik ver. " TARNVIK_DISPLAY_VERSION "  ***\r\r"
      "[ Drives Information (HDD, FDD, Optical, Flash, RAM etc.) ]\r\r"
      "Copyright (c) 2016 QELM Soft. All rights reserved.\r"
      "Program and design: Orvald\r"
      "WEB: \t").append(kAppHomePage).append(
      "\r"
      "WAP: \thttp://wap.qelmsoft.example\r"
      "        \thttp://forum.qelmsoft.example\r"
      "E-Mail:\torvald@qelmsoft.example \r"
      "        \tsupport@qelmsoft.example \r"
      "ICQ: \t000-000-000\r"
      "Skype: \tqelmsoft.orvald.example\r"
      "c. Qelmsby (Norway)\r"
      "Freeware: free for home and office use.\r\r"
      "TYPE:\tDrive information utility, no installation needed\r"
      "OS: \tMicrosoft Windows  (x32/x64) \r"
      "VER.\t95/98/Me/NT/2000/XP/2003/Vista/7/2008/8/2012  \r\r");
  return text;
}

void ShowAbout(toolkit::Toolkit& toolkit) {
  toolkit.MsgBox(AboutText(), toolkit::kMbOk | toolkit::kMbIconQuestion, kAboutTitle);
}

}  // namespace tarnvik
