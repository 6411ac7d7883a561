#include "AreaGeoJson.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>

#include "AtomicFile.h"
#include "UniqueFd.h"
#include "JsonValue.h"

namespace {

// ---- Writing

void AppendNumber(std::string& out, double value) {
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, end);
}

void AppendPosition(std::string& out, const LonLat& p) {
  out += '[';
  AppendNumber(out, p.longitude);
  out += ',';
  AppendNumber(out, p.latitude);
  out += ']';
}

void AppendPath(std::string& out, const std::vector<LonLat>& path) {
  out += '[';
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (i > 0) out += ',';
    AppendPosition(out, path[i]);
  }
  out += ']';
}

double SignedArea2(const AreaRing& ring) {
  double sum = 0;
  for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++)
    sum += (ring[j].longitude - ring[i].longitude) * (ring[j].latitude + ring[i].latitude);
  return sum;  // positive when anticlockwise
}

void AppendRing(std::string& out, AreaRing ring, bool anticlockwise) {
  if (ring.empty()) {
    out += "[]";
    return;
  }
  if ((SignedArea2(ring) < 0) == anticlockwise) std::reverse(ring.begin(), ring.end());
  ring.push_back(ring.front());
  AppendPath(out, ring);
}

// A feature's opening up to its coordinates; the caller appends them and "}}".
void BeginFeature(std::string& out, const char* type) {
  if (out.back() == '}') out += ",\n";
  out += R"({"type":"Feature","properties":{},"geometry":{"type":")";
  out += type;
  out += R"(","coordinates":)";
}

// ---- Reading

class GeoJsonShapeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class GeoJsonReader {
 public:
  explicit GeoJsonReader(Area& area) : area_(area) {}

  void Object(const JsonValue& value) {
    const std::string type = TypeOf(value);
    if (type == "FeatureCollection") {
      const JsonValue* features = value.Member("features");
      if (!features || !HoldsValues(*features))
        throw GeoJsonShapeError("a FeatureCollection without a list of features");
      for (const JsonValue& feature : features->items) Object(feature);
    } else if (type == "Feature") {
      const JsonValue* geometry = value.Member("geometry");
      if (geometry && geometry->kind != JsonValue::Kind::Null) Geometry(*geometry);
    } else {
      Geometry(value);
    }
  }

 private:
  static std::string TypeOf(const JsonValue& value) {
    if (value.kind != JsonValue::Kind::Object) throw GeoJsonShapeError("a value where an object belongs");
    const JsonValue* type = value.Member("type");
    if (!type || type->kind != JsonValue::Kind::String) throw GeoJsonShapeError("an object without a type");
    return type->text;
  }

  static const JsonValue& List(const JsonValue* value, const std::string& what) {
    if (!value || value->kind != JsonValue::Kind::Array) throw GeoJsonShapeError(what + " without coordinates");
    return *value;
  }

  // An array of values, neither numbers nor a list of positions.
  static bool HoldsValues(const JsonValue& value) {
    return value.kind == JsonValue::Kind::Array && value.numbers.empty() && value.rowEnds.empty();
  }

  static LonLat Position(const JsonValue& value) {
    if (value.kind != JsonValue::Kind::Array || value.numbers.size() < 2)
      throw GeoJsonShapeError("a position that is not a longitude and a latitude");
    return {value.numbers[0], value.numbers[1]};
  }

  // A list of positions; an empty list is an empty array.
  static std::vector<LonLat> Positions(const JsonValue& value) {
    if (value.kind != JsonValue::Kind::Array || !value.numbers.empty() || !value.items.empty())
      throw GeoJsonShapeError("a list of positions that is not one");
    std::vector<LonLat> path;
    path.reserve(value.rowEnds.size());
    std::size_t start = 0;
    for (const std::size_t end : value.rowEnds) {
      if (end - start < 2) throw GeoJsonShapeError("a position that is not a longitude and a latitude");
      path.push_back({value.rowNumbers[start], value.rowNumbers[start + 1]});
      start = end;
    }
    return path;
  }

  static const std::vector<JsonValue>& Lists(const JsonValue& value) {
    if (!HoldsValues(value)) throw GeoJsonShapeError("coordinates nested too shallow");
    return value.items;
  }

  void Polygon(const JsonValue& value) {
    const std::vector<JsonValue>& rings = Lists(value);
    if (rings.empty()) return;
    AreaPolygon polygon;
    for (std::size_t i = 0; i < rings.size(); ++i) {
      AreaRing ring = Positions(rings[i]);
      if (ring.size() > 1 && ring.front() == ring.back()) ring.pop_back();
      (i == 0 ? polygon.shell : polygon.holes.emplace_back()) = std::move(ring);
    }
    area_.polygons.push_back(std::move(polygon));
  }

  void Line(const JsonValue& value) {
    std::vector<LonLat> line = Positions(value);
    if (!line.empty()) area_.lines.push_back(std::move(line));
  }

  void Geometry(const JsonValue& value) {
    const std::string type = TypeOf(value);
    if (type == "GeometryCollection") {
      const JsonValue* geometries = value.Member("geometries");
      if (!geometries || !HoldsValues(*geometries))
        throw GeoJsonShapeError("a GeometryCollection without a list of geometries");
      for (const JsonValue& geometry : geometries->items) Geometry(geometry);
      return;
    }
    const JsonValue& coordinates = List(value.Member("coordinates"), "a " + type);
    if (type == "Point") {
      area_.points.push_back(Position(coordinates));
    } else if (type == "MultiPoint") {
      for (const LonLat& p : Positions(coordinates)) area_.points.push_back(p);
    } else if (type == "LineString") {
      Line(coordinates);
    } else if (type == "MultiLineString") {
      for (const JsonValue& line : Lists(coordinates)) Line(line);
    } else if (type == "Polygon") {
      Polygon(coordinates);
    } else if (type == "MultiPolygon") {
      for (const JsonValue& polygon : Lists(coordinates)) Polygon(polygon);
    } else {
      throw GeoJsonShapeError("an unknown type \"" + type + "\"");
    }
  }

  Area& area_;
};

// Only the old "crs" member can name another system; RFC 7946 files have none.
bool DeclaresOtherSystem(const JsonValue& root) {
  if (root.kind != JsonValue::Kind::Object) return false;
  const JsonValue* crs = root.Member("crs");
  if (!crs || crs->kind == JsonValue::Kind::Null) return false;
  const JsonValue* properties = crs->Member("properties");
  const JsonValue* name = properties ? properties->Member("name") : nullptr;
  if (!name || name->kind != JsonValue::Kind::String) return true;
  return name->text.find("CRS84") == std::string::npos && !name->text.ends_with("4326");
}

}  // namespace

std::string AreaGeoJsonText(const Area& area) {
  if (area.Empty()) throw AreaError("An area without geometry cannot be saved");
  std::string out = "{\"type\":\"FeatureCollection\",\"features\":[\n";
  if (!area.polygons.empty()) {
    BeginFeature(out, "MultiPolygon");
    out += '[';
    for (std::size_t p = 0; p < area.polygons.size(); ++p) {
      if (p > 0) out += ',';
      out += '[';
      AppendRing(out, area.polygons[p].shell, true);
      for (const AreaRing& hole : area.polygons[p].holes) {
        out += ',';
        AppendRing(out, hole, false);
      }
      out += ']';
    }
    out += "]}}";
  }
  if (!area.lines.empty()) {
    BeginFeature(out, "MultiLineString");
    out += '[';
    for (std::size_t i = 0; i < area.lines.size(); ++i) {
      if (i > 0) out += ',';
      AppendPath(out, area.lines[i]);
    }
    out += "]}}";
  }
  if (!area.points.empty()) {
    BeginFeature(out, "MultiPoint");
    AppendPath(out, area.points);
    out += "}}";
  }
  out += "\n]}\n";
  return out;
}

void WriteAreaGeoJson(const std::string& path, const Area& area) {
  WriteFileAtomic(path, AreaGeoJsonText(area), Durability::PowerLoss);
}

void RefuseSpecialFile(const std::string& path, const std::string& source) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) return;
  throw AreaError(source + " is not a regular file (a pipe, a device or a socket): it cannot be read as an area");
}

std::string ReadAreaFileBytes(const std::string& path, const std::string& source, std::uintmax_t maxBytes) {
  const auto unreadable = [&](const std::string& why) { return AreaError(source + " cannot be read: " + why); };
  // Non-blocking, so that a FIFO cannot hold the open; refused by fstat below.
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd) {
    if (errno == ENOENT) throw AreaError(source + " is missing");
    throw unreadable(std::strerror(errno));
  }
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0) throw unreadable(std::strerror(errno));
  if (!S_ISREG(info.st_mode)) throw unreadable("it is not a regular file");
  const auto size = static_cast<std::uintmax_t>(info.st_size);
  const auto tooLarge = [&] {
    return AreaError(source + " is larger than " + std::to_string(maxBytes >> 20) + " MiB, more than an area needs");
  };
  if (size > maxBytes) throw tooLarge();
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(size));
  const int error = ReadDescriptorInPieces(fd.Get(), [&](std::string_view piece) {
    // The file may grow while it is read.
    if (bytes.size() + piece.size() > maxBytes) throw tooLarge();
    bytes.append(piece);
  });
  if (error != 0) throw unreadable(std::strerror(error));
  return bytes;
}

Area ReadAreaGeoJson(const std::string& path) {
  const std::string source = "The area file " + path;
  const std::string bytes = ReadAreaFileBytes(path, source, kMaxAreaFileBytes);
  Area area;
  try {
    const JsonValue root = ParseJson(bytes);
    if (DeclaresOtherSystem(root)) throw AreaError(source + " is not in WGS84 longitude and latitude");
    GeoJsonReader(area).Object(root);
  } catch (const JsonSyntaxError& e) {
    throw AreaError(source + " is damaged: " + e.what());
  } catch (const GeoJsonShapeError& e) {
    throw AreaError(source + " is damaged: it holds " + e.what());
  }
  ValidateArea(area, source);
  return area;
}
