#include "ui/commands/about.h"

#include "base/program_identity.h"
#include "tarnvik_version.h"

namespace tarnvik {

const std::string& AboutText() {
  static const std::string text = [] {
    constexpr char cr = '\r';
    constexpr char tab = '\t';
    std::string t;
    t += "***  QELM Tarnvik ver. " TARNVIK_DISPLAY_VERSION "  ***";
    t += cr;
    t += cr;
    t += "[ Drives Information (HDD, FDD, Optical, Flash, RAM etc.) ]";
    t += cr;
    t += cr;
    t += "Copyright (c) 2016 QELM Soft. All rights reserved.";
    t += cr;
    t += "Program and design: Orvald";
    t += cr;
    t += "WEB: ";
    t += tab;
    t += kAppHomePage;
    t += cr;
    t += "WAP: ";
    t += tab;
    t += "http://wap.qelmsoft.example";
    t += cr;
    t += "        ";
    t += tab;
    t += "http://forum.qelmsoft.example";
    t += cr;
    t += "E-Mail:";
    t += tab;
    t += "orvald@qelmsoft.example ";
    t += cr;
    t += "        ";
    t += tab;
    t += "support@qelmsoft.example ";
    t += cr;
    t += "ICQ: ";
    t += tab;
    t += "000-000-000";
    t += cr;
    t += "Skype: ";
    t += tab;
    t += "qelmsoft.orvald.example";
    t += cr;
    t += "c. Qelmsby (Norway)";
    t += cr;
    t += "Freeware: free for home and office use.";
    t += cr;
    t += cr;
    t += "TYPE:";
    t += tab;
    t += "Drive information utility, no installation needed";
    t += cr;
    t += "OS: ";
    t += tab;
    t += "Microsoft Windows  (x32/x64) ";
    t += cr;
    t += "VER.";
    t += tab;
    t += "95/98/Me/NT/2000/XP/2003/Vista/7/2008/8/2012  ";
    t += cr;
    t += cr;
    return t;
  }();
  return text;
}

void ShowAbout(toolkit::Toolkit& toolkit) {
  toolkit.MsgBox(AboutText(), toolkit::kMbOk | toolkit::kMbIconQuestion, kAboutTitle);
}

}  // namespace tarnvik
