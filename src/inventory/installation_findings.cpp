#include "inventory/installation_findings.h"

#include <algorithm>

#include "files/product_files.h"
#include "registry/product_keys.h"
#include "text/formatted.h"

namespace morvex {
namespace {

constexpr const char* kCxxCompiler = "Morvex C/C++ Compiler";

Mend set_text(RootKey root, std::string key, std::string name, std::string text) {
  return {Mend::Change::set_text, root, std::move(key), std::move(name), std::move(text), 0, ""};
}

Mend set_number(RootKey root, std::string key, std::string name, std::int32_t number) {
  return {Mend::Change::set_number, root, std::move(key), std::move(name), "", number, ""};
}

bool names_generation(const InstalledRelease& release, int generation) {
  return std::find(release.generations.begin(), release.generations.end(), generation) !=
         release.generations.end();
}

bool registered(const GenerationRegistration& registration, const std::string& name) {
  return std::any_of(registration.releases.begin(), registration.releases.end(),
                     [&](const RegisteredRelease& release) { return release.name == name; });
}

// How many installed releases use a file of this generation (0: any).
int users_of(const Installation& installation, int generation) {
  return static_cast<int>(std::count_if(
      installation.releases.begin(), installation.releases.end(), [&](const InstalledRelease& release) {
        return generation == 0 ? !release.generations.empty() : names_generation(release, generation);
      }));
}

void check_registered_releases(const Installation& installation, std::vector<Finding>& findings) {
  for (const GenerationRegistration& registration : installation.registrations) {
    const char* title = generation_title(registration.generation);
    for (const RegisteredRelease& listed : registration.releases) {
      const bool installed = std::any_of(
          installation.releases.begin(), installation.releases.end(), [&](const InstalledRelease& release) {
            return release.name == listed.name && names_generation(release, registration.generation);
          });
      if (installed) continue;
      Finding finding{formatted("release %s is registered for %s but no install key names it",
                                listed.name.c_str(), title), {}};
      // The uninstall takes a C/C++-only release out once an install key
      // says where it is registered.
      if (listed.languages == 1) {
        finding.mend = set_text(RootKey::current_user, std::string(kCxxCompilerKey) + "\\" + listed.name,
                                "IDE", registration.generation == 4 ? "1" : "2");
        finding.mend.uninstall = listed.name;
      }
      findings.push_back(std::move(finding));
    }
    if (registration.selected && !registered(registration, *registration.selected)) {
      Finding finding{formatted("%s selects release %s, which is not in its list \"%s\"", title,
                                registration.selected->c_str(),
                                registration.list ? registration.list->c_str() : ""), {}};
      if (!registration.releases.empty())
        finding.mend = set_text(RootKey::current_user,
                                std::string(kIdeKey) + "\\" + std::to_string(registration.generation),
                                "Compiler", registration.releases.front().name);
      findings.push_back(std::move(finding));
    }
  }
}

void check_install_keys(const Installation& installation, std::vector<Finding>& findings) {
  for (const InstalledRelease& release : installation.releases) {
    for (const int generation : release.generations) {
      if (registered(installation.registrations[generation == 4 ? 0 : 1], release.name)) continue;
      Finding finding{formatted("release %s (%s) names %s in its \"IDE\" value but is not registered "
                                "there", release.name.c_str(), release.compiler.c_str(),
                                generation_title(generation)), {}};
      // Only C/C++ install keys are the uninstall's to delete.
      if (release.compiler == kCxxCompiler) finding.mend.uninstall = release.name;
      findings.push_back(std::move(finding));
    }
  }
}

void check_files(const Installation& installation, std::vector<Finding>& findings) {
  for (const ProductFile& file : installation.files) {
    const int users = users_of(installation, file.generation);
    if (file.shared_count && !file.on_disk) {
      Finding finding{formatted("%s is counted (%d) but not on disk", file.path.c_str(),
                                *file.shared_count), {}};
      // Once nothing uses it, only the count is left over.
      if (users == 0)
        finding.mend = {Mend::Change::delete_value, RootKey::local_machine, kSharedDllsKey, file.path,
                        "", 0, ""};
      findings.push_back(std::move(finding));
    } else if (!file.shared_count && file.on_disk && users > 0) {
      findings.push_back(
          {formatted("%s is on disk but has no shared count, while %d installed release%s use%s it",
                     file.path.c_str(), users, users == 1 ? "" : "s", users == 1 ? "s" : ""),
           set_number(RootKey::local_machine, kSharedDllsKey, file.path, users)});
    }
  }
}

void check_ides(const Installation& installation, std::vector<Finding>& findings) {
  for (const IdeSettings& ide : installation.ides) {
    const char* title = generation_title(ide.generation);
    const bool in_use = users_of(installation, ide.generation) > 0;
    for (const IdeTool& tool : ide.tools) {
      if (!tool.product_executable || tool.on_disk) continue;
      Finding finding{formatted("%s's %s runs %s, which does not exist: that IDE cannot compile", title,
                                tool.role.c_str(), tool.executable->c_str()), {}};
      // With no release left for the IDE, its own tool is the one to run.
      if (!in_use)
        finding.mend = set_text(RootKey::current_user, tool.key, "Executable Path",
                                tool.role == "compiler" ? "cl.exe" : "link.exe");
      findings.push_back(std::move(finding));
    }
    const ToolsMenuState& menu = ide.tools_menu;
    if (menu.select_compiler && !menu.select_compiler_program_on_disk)
      findings.push_back({formatted("%s's Tools menu entry %d \"&Select Compiler\" runs %s, which does "
                                    "not exist", title, *menu.select_compiler,
                                    menu.select_compiler_program->c_str()), {}});
    // The IDE shows the entries below "NumTools"; the stale ones past it
    // that a removal leaves are harmless.
    const bool count_wrong = menu.num_tools ? *menu.num_tools < 0 || *menu.num_tools > menu.entries
                                            : menu.entries > 0;
    if (menu.present && count_wrong)
      findings.push_back(
          {formatted("%s's Tools menu holds %d entr%s but \"NumTools\" is %s", title, menu.entries,
                     menu.entries == 1 ? "y" : "ies",
                     menu.num_tools ? std::to_string(*menu.num_tools).c_str() : "missing"),
           set_number(RootKey::current_user, menu.key, "NumTools", menu.entries)});
  }
}

}  // namespace

std::vector<Finding> find_leftovers(const Installation& installation) {
  std::vector<Finding> findings;
  check_registered_releases(installation, findings);
  check_install_keys(installation, findings);
  check_files(installation, findings);
  check_ides(installation, findings);
  return findings;
}

}  // namespace morvex
