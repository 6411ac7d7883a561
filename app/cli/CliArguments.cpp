#include "CliArguments.h"

#include <charconv>
#include <system_error>

#include "AppPaths.h"
#include "Area.h"
#include "TaskParameters.h"

namespace {

std::optional<int> ParseInt(const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
  return value;
}

// Every option takes a value, always the next word, so a negative longitude
// such as "-10.5" is a value, not an option.
struct ValueOption {
  const char* name;
  bool isNumber;
  std::optional<std::string> CliArguments::*text;
  std::optional<int> CliArguments::*number;
};

constexpr ValueOption kValueOptions[] = {
    {"--config", false, &CliArguments::configPath, nullptr},
    {"--open", false, &CliArguments::projectToOpen, nullptr},
    {"--left", false, &CliArguments::left, nullptr},
    {"--right", false, &CliArguments::right, nullptr},
    {"--top", false, &CliArguments::top, nullptr},
    {"--bottom", false, &CliArguments::bottom, nullptr},
    {"--area", false, &CliArguments::areaFile, nullptr},
    {"--buffer", false, nullptr, nullptr},
    {"--zoom", true, nullptr, &CliArguments::zoom},
    {"--threads", true, nullptr, &CliArguments::threads},
    {"--path", false, &CliArguments::savePath, nullptr},
    {"--task", false, &CliArguments::taskName, nullptr},
    {"--max-rate", true, nullptr, &CliArguments::maxRate},
    {"--source", false, &CliArguments::source, nullptr},
    {"--store", false, &CliArguments::store, nullptr},
    {"--format", false, &CliArguments::format, nullptr},
};

const ValueOption* FindOption(const std::string& name) {
  for (const ValueOption& option : kValueOptions)
    if (name == option.name) return &option;
  return nullptr;
}

bool IsTaskOption(const std::string& name) { return name != "--config"; }

// COMMAND PROJECT.qrnl [OPTION VALUE]: one project file and one option that
// takes a value, as "--name VALUE" or "--name=VALUE". what: the value's kind,
// for the message when it is missing.
struct ProjectCommand {
  std::string project;
  std::optional<std::string> value;
};
std::variant<ProjectCommand, CliUsageError> ParseProjectCommand(const std::vector<std::string>& words,
                                                                const std::string& option, const std::string& what) {
  const std::string& command = words[0];
  ProjectCommand parsed;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == option || word.starts_with(option + "=")) {
      if (word.size() > option.size()) {
        parsed.value = word.substr(option.size() + 1);
      } else if (i + 1 < words.size()) {
        parsed.value = words[++i];
      } else {
        return CliUsageError{option + " needs " + what};
      }
    } else if (word.starts_with("--")) {
      return CliUsageError{"unknown option " + word + " for " + command};
    } else if (parsed.project.empty()) {
      parsed.project = word;
    } else {
      return CliUsageError{command + " takes one project file"};
    }
  }
  if (parsed.project.empty()) return CliUsageError{command + " needs a project file"};
  return parsed;
}

// refresh TASK.qrnl [--older-than DAYS]
std::variant<CliArguments, CliUsageError> ParseRefresh(const std::vector<std::string>& words, CliArguments result) {
  const auto parsed = ParseProjectCommand(words, "--older-than", "a number of days");
  if (const auto* error = std::get_if<CliUsageError>(&parsed)) return *error;
  const ProjectCommand& command = std::get<ProjectCommand>(parsed);
  result.mode = CliArguments::Mode::Refresh;
  result.refreshProject = command.project;
  if (command.value) {
    const std::optional<int> days = ParseInt(*command.value);
    if (!days || *days < 0)
      return CliUsageError{"--older-than needs a number of days from 0, not \"" + *command.value + "\""};
    result.olderThanDays = *days;
  }
  return result;
}

// repack TASK.qrnl --store file|folder
std::variant<CliArguments, CliUsageError> ParseRepack(const std::vector<std::string>& words, CliArguments result) {
  const auto parsed = ParseProjectCommand(words, "--store", "file or folder");
  if (const auto* error = std::get_if<CliUsageError>(&parsed)) return *error;
  const ProjectCommand& command = std::get<ProjectCommand>(parsed);
  if (!command.value) return CliUsageError{"repack needs --store file or --store folder"};
  if (*command.value != "file" && *command.value != "folder")
    return CliUsageError{"--store takes file or folder, not \"" + *command.value + "\""};
  result.mode = CliArguments::Mode::Repack;
  result.repackProject = command.project;
  result.repackToStore = *command.value == "file";
  return result;
}

}  // namespace

std::variant<CliArguments, CliUsageError> ParseCliArguments(const std::vector<std::string>& args) {
  CliArguments result;
  std::optional<std::string> bufferText;
  std::vector<std::string> positional;
  bool sawTaskOption = false;

  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string word = args[i];
    if (!positional.empty()) {
      positional.push_back(word);
      continue;
    }
    if (word == "--help" || word == "-h") {
      result.mode = CliArguments::Mode::Help;
      return result;
    }
    if (word == "--version") {
      result.mode = CliArguments::Mode::Version;
      return result;
    }
    if (word.rfind("--", 0) != 0) {
      positional.push_back(word);
      continue;
    }
    if (word == "--replace" || word == "--no-space-check" || word == "--dry-run") {
      (word == "--replace" ? result.replace : word == "--dry-run" ? result.dryRun : result.noSpaceCheck) = true;
      sawTaskOption = true;
      continue;
    }
    std::optional<std::string> value;
    if (const auto equals = word.find('='); equals != std::string::npos) {
      value = word.substr(equals + 1);
      word.resize(equals);
    }
    const ValueOption* option = FindOption(word);
    if (!option) return CliUsageError{"unknown option " + word};
    if (!value) {
      if (i + 1 >= args.size()) return CliUsageError{word + " needs a value"};
      value = args[++i];
    }
    int first = 0, last = 0;
    if (word == "--buffer") {
      bufferText = *value;
    } else if (word == "--zoom" && ParseZoomRange(*value, first, last)) {
      result.zoomRange = std::pair{first, last};
      result.zoom.reset();
    } else if (option->isNumber) {
      const std::optional<int> number = ParseInt(*value);
      if (!number) return CliUsageError{word + " needs a whole number, not \"" + *value + "\""};
      result.*(option->number) = *number;
      if (word == "--zoom") result.zoomRange.reset();
    } else {
      result.*(option->text) = *value;
    }
    sawTaskOption = sawTaskOption || IsTaskOption(word);
  }

  if (positional.empty()) {
    result.mode = CliArguments::Mode::Task;
    if (result.threads && (*result.threads < 1 || *result.threads > kMaxWorkers))
      return CliUsageError{"--threads must be between 1 and " + std::to_string(kMaxWorkers)};
    if (result.maxRate && *result.maxRate < 0) return CliUsageError{"--max-rate must be 0 (no cap) or more"};
    if (result.store && !ParseTileStorage(*result.store))
      return CliUsageError{"--store is folder or file, not \"" + *result.store + "\""};
    if (result.format && !TaskTileFormatNamed(*result.format))
      return CliUsageError{"--format takes mvt (vector tiles) or raster, not \"" + *result.format + "\""};
    if (result.areaFile && (result.left || result.right || result.top || result.bottom))
      return CliUsageError{"--area gives the rectangle: it cannot be combined with --left, --right, --top or --bottom"};
    if (bufferText && !result.areaFile) return CliUsageError{"--buffer widens the lines and points of an --area"};
    if (bufferText) {
      try {
        result.bufferMetres = ParseBufferMetres(*bufferText);
      } catch (const AreaError& refusal) {
        return CliUsageError{std::string("--buffer: ") + refusal.what()};
      }
    }
    if (result.taskName) result.taskName = CliTaskFileName(*result.taskName);
    return result;
  }
  if (sawTaskOption) return CliUsageError{"task options cannot be combined with " + positional[0]};

  const std::string& command = positional[0];
  if (command == "combine") {
    result.mode = CliArguments::Mode::Combine;
    result.combineWords.assign(positional.begin() + 1, positional.end());
    return result;
  }
  if (command == "refresh") return ParseRefresh(positional, result);
  if (command == "repack") return ParseRepack(positional, result);
  if (command == "sources") {
    result.mode = CliArguments::Mode::Sources;
    result.sourcesWords.assign(positional.begin() + 1, positional.end());
    return result;
  }
  if (command == "redownload") {
    if (positional.size() != 2) return CliUsageError{"redownload needs one list file"};
    result.mode = CliArguments::Mode::Redownload;
    result.failedListPath = positional[1];
    return result;
  }
  if (command == "convert") {
    if (result.configPath) return CliUsageError{"convert takes no --config"};
    if (positional.size() != 4) return CliUsageError{"convert needs DEGREES MINUTES SECONDS"};
    result.mode = CliArguments::Mode::Convert;
    result.degrees = positional[1];
    result.minutes = positional[2];
    result.seconds = positional[3];
    return result;
  }
  return CliUsageError{"unknown command " + command};
}

std::string CliTaskFileName(const std::string& name) {
  if (name.empty() || name.ends_with(kProjectExtension)) return name;
  return name + kProjectExtension;
}

std::string CliUsageText() {
  return "Usage:\n"
         "  quarnel-cli [--config FILE] [--open PROJECT.qrnl] [--left TEXT] [--right TEXT]\n"
         "              [--top TEXT] [--bottom TEXT] [--area FILE [--buffer METRES]]\n"
         "              [--zoom N|A-B] [--threads N] [--path DIR] [--task NAME] [--max-rate N]\n"
         "              [--source NAME] [--format mvt|raster] [--store folder|file] [--replace]\n"
         "              [--no-space-check] [--dry-run]\n"
         "  quarnel-cli [--config FILE] redownload LIST.ftl\n"
         "  quarnel-cli [--config FILE] refresh PROJECT.qrnl [--older-than DAYS]\n"
         "  quarnel-cli repack PROJECT.qrnl --store file|folder\n"
         "  quarnel-cli convert DEGREES MINUTES SECONDS\n"
         "  quarnel-cli [--config FILE] combine PROJECT.qrnl [PROJECT.qrnl ...] OUTPUT [--force]\n"
         "              [--overviews] [--clip] [--min-zoom N] [--tile-size 256|512] [--palette]\n"
         "  quarnel-cli [--config FILE] sources [add FILE|URL [--name NAME] | show NAME |\n"
         "              remove NAME | test NAME | key NAME]\n"
         "  quarnel-cli --help | --version\n"
         "\n"
         "Downloads the map tiles that cover a rectangle or an area, as the Quarnel\n"
         "window does. A task starts from the configured defaults; --open loads a\n"
         "project file's entries, and the other options replace single entries.\n"
         "Longitudes and latitudes are decimal degrees. A task that exists gives\n"
         "every entry the command line does not, so running it again resumes where\n"
         "it stopped.\n"
         "\n"
         "  --config FILE   configuration file (default: ini/config.ini beside the program,\n"
         "                  or ~/.config/quarnel/config.ini when that folder is read-only)\n"
         "  --open FILE     project file whose entries to load\n"
         "  --left, --right, --top, --bottom TEXT   the rectangle's edges\n"
         "  --area FILE     only the tiles inside an area: any vector file (GeoJSON, KML,\n"
         "                  KMZ, GPX, Shapefile, GeoPackage, FlatGeobuf ...), in any\n"
         "                  coordinate system it declares; its bounds are the rectangle\n"
         "  --buffer METRES widen the area's lines and points by this much (default 0:\n"
         "                  the tiles a line passes through)\n"
         "  --zoom N        zoom level\n"
         "  --zoom A-B      one task per level from A to B, named NAME_zA.qrnl ... NAME_zB.qrnl\n"
         "  --threads N     download threads, 1 to " +
         std::to_string(kMaxWorkers) +
         "\n"
         "  --path DIR      folder to save into\n"
         "  --task NAME     task (project file) name; \".qrnl\" is added when missing\n"
         "  --max-rate N    start at most N requests per second (0: no cap)\n"
         "  --source NAME   fetch from this tile source (see \"sources\"); without it the\n"
         "                  configuration's [Hosts] server\n"
         "  --store folder|file  keep a new task's tiles in a folder of image files (the\n"
         "                  default, or the configuration's [IniParas] TileStorage) or in\n"
         "                  one MBTiles file, NAME.mbtiles: better for millions of tiles and\n"
         "                  for many identical ones. A task keeps its choice for life\n"
         "  --format mvt    the tiles are vector tiles (saved as .pbf, checked as such);\n"
         "                  a source that names vector tiles sets it by itself\n"
         "  --replace       replace a task of the same name that has other entries\n"
         "  --no-space-check  start a task larger than the disk's free space\n"
         "  --dry-run       write nothing: per zoom level the tile count and a size\n"
         "                  estimate from up to 8 sample tiles, then the total\n"
         "\n"
         "  redownload LIST.ftl   fetch every entry of a failed-tile list again\n"
         "  refresh PROJECT.qrnl  ask the server again for the task's saved tiles whose\n"
         "                        expiry has passed (else that are 7 days old), with the\n"
         "                        validators they came with; only changed tiles are\n"
         "                        fetched and replaced; --older-than DAYS asks for those\n"
         "                        that old too. Ctrl+C stops it; the next refresh\n"
         "                        continues where it stopped\n"
         "  repack PROJECT.qrnl --store file|folder\n"
         "                        moves a task's tiles into one file (NAME.mbtiles) or into\n"
         "                        a folder: writes the other form beside, checks every\n"
         "                        tile, then switches the task over and removes the old\n"
         "                        form; stopped or killed, the task stays whole in one form\n"
         "  convert D M S         degrees, minutes and seconds to decimal degrees\n"
         "  combine ... OUTPUT    finished tasks into one file: OUTPUT.tif (GeoTIFF), a tile\n"
         "                        set of several zoom levels (.mbtiles, .pmtiles, .gpkg,\n"
         "                        .sqlitedb, or a folder ending in / for {z}/{x}/{y}.png),\n"
         "                        or .png/.jpg (with a world file); --force replaces OUTPUT,\n"
         "                        --overviews adds GeoTIFF overviews, --min-zoom N builds a\n"
         "                        tile set's levels down to zoom N from the tiles,\n"
         "                        --tile-size 512 makes them 512-pixel tiles, --palette\n"
         "                        palette PNGs from palette PNGs; a task\n"
         "                        over an area gives only its tiles inside, and --clip cuts\n"
         "                        a GeoTIFF or image to the area's exact outline\n"
         "  sources               the tile sources, one a line: name, tab, zmin-zmax, tab,\n"
         "                        address template (the shipped catalogue's, then yours)\n"
         "  sources add FILE|URL  adds the sources of a TileJSON, a WMTS capabilities\n"
         "                        document, a QGIS XYZ connections file or a tile address\n"
         "                        copied from a browser, and prints each one's name;\n"
         "                        --name NAME names a document's only source. A key\n"
         "                        written in an address is kept in the key file instead\n"
         "  sources show NAME     the source's file (its key never), to save as a source\n"
         "                        of your own with other limits\n"
         "  sources remove NAME   removes one of your sources\n"
         "  sources test NAME     fetches one tile and says what came (exit 1: no tile)\n"
         "  sources key NAME      stores the key read from standard input, apart from the\n"
         "                        source, in keys.ini beside the configuration\n"
         "\n"
         "The log goes to standard output, messages to standard error.\n"
         "Exit status: 0 done, 1 tiles failed or an error occurred, 2 an entry was\n"
         "refused or the usage is wrong, 130 stopped by Ctrl+C (press it twice to\n"
         "end at once; progress is saved either way).\n";
}

bool ParseZoomRange(const std::string& text, int& first, int& last) {
  const auto dash = text.find('-', 1);
  if (dash == std::string::npos) return false;
  const char* end = text.data() + text.size();
  const auto a = std::from_chars(text.data(), text.data() + dash, first);
  const auto b = std::from_chars(text.data() + dash + 1, end, last);
  return a.ec == std::errc() && a.ptr == text.data() + dash && b.ec == std::errc() && b.ptr == end && dash + 1 < text.size();
}
