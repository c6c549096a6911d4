// Writes what the package installs beside the programs, made from the
// programs' own manuals and icons: manual pages, bash completions, desktop
// entries and scalable icons.
//
//   write_package_files OUTPUT-FOLDER DATE SOURCE
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "accounts/accounts_command.h"
#include "common/app_icons.h"
#include "common/cli/manual.h"
#include "converter/convert_command.h"
#include "restarter/restart_command.h"

namespace {

bool Write(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) std::cerr << "write_package_files: cannot write " << path << "\n";
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: write_package_files OUTPUT-FOLDER DATE SOURCE\n";
    return 2;
  }
  const std::string out = argv[1];
  bool ok = true;
  for (const common::cli::Manual* manual : {&vostrel::Manual(), &calmet::Manual(), &ruvane::Manual()}) {
    const common::AppIconDoc* icon = common::FindAppIcon(manual->icon);
    if (!icon) {
      std::cerr << "write_package_files: no icon " << manual->icon << "\n";
      return 1;
    }
    const std::string name = manual->name;
    ok &= Write(out + "/man/" + name + ".1", common::cli::ManualPage(*manual, argv[2], argv[3]));
    ok &= Write(out + "/completions/" + name, common::cli::BashCompletion(*manual));
    ok &= Write(out + "/applications/" + std::string(manual->icon) + ".desktop",
                common::cli::DesktopEntry(*manual));
    ok &= Write(out + "/icons/" + std::string(manual->icon) + ".svg", common::IconSvg(*icon));
  }
  return ok ? 0 : 1;
}
