#include "inventory/installation_listing.h"

#include <nlohmann/json.hpp>

#include "diag/diagnostics.h"
#include "text/formatted.h"

namespace morvex {
namespace {

using nlohmann::ordered_json;

template <class T>
ordered_json or_null(const std::optional<T>& value) {
  return value ? ordered_json(*value) : ordered_json(nullptr);
}

std::string shown(const std::optional<std::string>& text) {
  return text ? "\"" + *text + "\"" : "(none)";
}

std::string shown(const std::optional<std::int32_t>& number) {
  return number ? std::to_string(*number) : "(none)";
}

std::string generations_text(const InstalledRelease& release) {
  if (!release.ide_understood) return "not understood";
  if (release.generations.empty()) return "no IDE";
  std::string text;
  for (const int generation : release.generations)
    text += (text.empty() ? "" : " and ") + std::string(generation_title(generation));
  return text;
}

std::string document(const ordered_json& body) {
  ordered_json json = {{"program", "morvex-uninstall"}, {"version", MORVEX_VERSION}};
  json.update(body);
  json["errors"] = kept_error_lines();
  // Registry texts are the system's code page, not always UTF-8.
  return json.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string installation_text(const Installation& installation) {
  std::string text = "Releases:\n";
  if (installation.releases.empty()) text += "  (none)\n";
  for (const InstalledRelease& release : installation.releases)
    text += formatted("  %s\\%s: IDE %s, %s\n", release.compiler.c_str(), release.name.c_str(),
                      shown(release.ide).c_str(), generations_text(release).c_str());
  for (const GenerationRegistration& registration : installation.registrations) {
    text += formatted("%s registration:", generation_title(registration.generation));
    if (!registration.present) {
      text += " (none)\n";
      continue;
    }
    text += formatted("\n  list %s, selected %s, languages %s\n", shown(registration.list).c_str(),
                      shown(registration.selected).c_str(), shown(registration.languages).c_str());
    for (const RegisteredRelease& release : registration.releases)
      text += formatted("  %s: %s\n", release.name.c_str(),
                        release.has_key ? ("languages " + shown(release.languages)).c_str()
                                        : "no key of its own");
  }
  text += formatted("Product files: bin folder %s\n", shown(installation.bin_folder).c_str());
  for (const ProductFile& file : installation.files)
    text += formatted("  %s: shared count %s, %s\n", file.path.c_str(), shown(file.shared_count).c_str(),
                      file.on_disk ? "on disk" : "not on disk");
  for (const IdeSettings& ide : installation.ides) {
    text += formatted("%s:\n", generation_title(ide.generation));
    for (const IdeTool& tool : ide.tools)
      text += formatted("  %s runs %s%s\n", tool.role.c_str(), shown(tool.executable).c_str(),
                        !tool.product_executable ? "" : tool.on_disk ? " (the product's, on disk)"
                                                                     : " (the product's, not on disk)");
    const ToolsMenuState& menu = ide.tools_menu;
    if (!menu.present)
      text += "  no Tools menu\n";
    else if (!menu.select_compiler)
      text += formatted("  Tools menu: NumTools %s, no \"&Select Compiler\"\n", shown(menu.num_tools).c_str());
    else
      text += formatted("  Tools menu: NumTools %s, \"&Select Compiler\" is entry %d, runs %s\n",
                        shown(menu.num_tools).c_str(), *menu.select_compiler,
                        shown(menu.select_compiler_program).c_str());
  }
  return text;
}

std::string installation_json(const Installation& installation) {
  ordered_json releases = ordered_json::array();
  for (const InstalledRelease& release : installation.releases)
    releases.push_back({{"compiler", release.compiler},
                        {"release", release.name},
                        {"ide", or_null(release.ide)},
                        {"generations", release.ide_understood ? ordered_json(release.generations)
                                                               : ordered_json(nullptr)}});
  ordered_json registrations = ordered_json::array();
  for (const GenerationRegistration& registration : installation.registrations) {
    ordered_json listed = ordered_json::array();
    for (const RegisteredRelease& release : registration.releases)
      listed.push_back({{"release", release.name},
                        {"has_key", release.has_key},
                        {"languages", or_null(release.languages)}});
    registrations.push_back({{"generation", registration.generation},
                             {"present", registration.present},
                             {"list", or_null(registration.list)},
                             {"releases", std::move(listed)},
                             {"selected", or_null(registration.selected)},
                             {"languages", or_null(registration.languages)}});
  }
  ordered_json files = ordered_json::array();
  for (const ProductFile& file : installation.files)
    files.push_back({{"path", file.path},
                     {"generation", file.generation == 0 ? ordered_json(nullptr) : ordered_json(file.generation)},
                     {"shared_count", or_null(file.shared_count)},
                     {"on_disk", file.on_disk}});
  ordered_json ides = ordered_json::array();
  for (const IdeSettings& ide : installation.ides) {
    ordered_json entry = {{"generation", ide.generation}};
    for (const IdeTool& tool : ide.tools)
      entry[tool.role] = {{"key", tool.key},
                          {"executable", or_null(tool.executable)},
                          {"product", tool.product_executable},
                          {"on_disk", tool.product_executable ? ordered_json(tool.on_disk) : ordered_json(nullptr)}};
    const ToolsMenuState& menu = ide.tools_menu;
    entry["tools_menu"] = !menu.present ? ordered_json(nullptr)
                                        : ordered_json{{"key", menu.key},
                                                       {"num_tools", or_null(menu.num_tools)},
                                                       {"entries", menu.entries},
                                                       {"select_compiler", or_null(menu.select_compiler)},
                                                       {"program", or_null(menu.select_compiler_program)}};
    ides.push_back(std::move(entry));
  }
  return document({{"releases", std::move(releases)},
                   {"registrations", std::move(registrations)},
                   {"bin_folder", or_null(installation.bin_folder)},
                   {"files", std::move(files)},
                   {"ides", std::move(ides)}});
}

std::string findings_text(const std::vector<Finding>& findings) {
  std::string text;
  for (const Finding& finding : findings) {
    text += finding.what + "\n";
    if (!finding.mend.empty()) text += "  mend: " + mend_text(finding.mend) + "\n";
  }
  return text;
}

std::string findings_json(const std::vector<Finding>& findings) {
  ordered_json list = ordered_json::array();
  for (const Finding& finding : findings)
    list.push_back({{"finding", finding.what},
                    {"mend", finding.mend.empty() ? ordered_json(nullptr) : ordered_json(mend_text(finding.mend))}});
  // A check that could not read everything vouches for nothing.
  const bool clean = findings.empty() && kept_error_lines().empty();
  return document({{"clean", clean}, {"findings", std::move(list)}});
}

}  // namespace morvex
