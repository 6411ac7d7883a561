#include "SourceImport.h"

#include <gtest/gtest.h>

#include <array>

#include "TestFiles.h"
#include "TileTemplate.h"

namespace {

// A document of tests/data/sources with its server's host filled in.
std::string Document(const std::string& name, const std::string& host = "maps.example.test") {
  std::string text = ReadFile(std::string(QUARNEL_TEST_DATA_DIR) + "/sources/" + name);
  EXPECT_FALSE(text.empty()) << name;
  for (std::size_t at = text.find("HOST"); at != std::string::npos; at = text.find("HOST", at)) text.replace(at, 4, host);
  return text;
}

struct Expected {
  std::string name, address;
  int32_t minZoom, maxZoom;
  std::string format;
};

void ExpectSources(const SourceImport& import, const std::vector<Expected>& expected) {
  ASSERT_EQ(import.sources.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const TileSource& source = import.sources[i];
    EXPECT_EQ(source.Name, expected[i].name);
    EXPECT_EQ(source.Template, expected[i].address) << source.Name;
    EXPECT_EQ(source.MinZoom, expected[i].minZoom) << source.Name;
    EXPECT_EQ(source.MaxZoom, expected[i].maxZoom) << source.Name;
    EXPECT_EQ(source.Format, expected[i].format) << source.Name;
  }
}

TEST(SourceImportTest, TileJsonWithRowsFromTheBottom) {
  const SourceImport import = ImportTileJson(Document("relief-tms.json"), "http://maps.example.test/v1/relief.json");
  ExpectSources(import, {{"Relief", "http://maps.example.test/v1/relief/{z}/{x}/{-y}.png", 2, 9, "png"}});
  const TileSource& source = import.sources.front();
  EXPECT_EQ(source.Bounds, (SourceBounds{10, 40, 20, 50}));
  EXPECT_EQ(source.Attribution, "\xC2\xA9 Relief makers");
  EXPECT_EQ(import.notes.size(), 1u);  // the second tile address was not taken
}

TEST(SourceImportTest, TileJsonWithoutNameTakesTheHost) {
  const SourceImport import = ImportTileJson(R"({"tilejson":"3.0.0","tiles":["https://t.example.test/{z}/{x}/{y}.webp"]})",
                                             "https://tiles.example.test:8443/styles/basic.json");
  ExpectSources(import, {{"tiles.example.test", "https://t.example.test/{z}/{x}/{y}.webp", 0, 30, "webp"}});
  EXPECT_FALSE(import.sources.front().Bounds);
}

TEST(SourceImportTest, WmtsTakesTheQuadTreeSetsAndNamesTheOthers) {
  const SourceImport import =
      ImportWmtsCapabilities(Document("wmts-text-ids.xml"), "http://maps.example.test/wmts?REQUEST=GetCapabilities");
  ExpectSources(import,
                {{"Ortho photos",
                  "http://maps.example.test/wmts?SERVICE=WMTS&REQUEST=GetTile&VERSION=1.0.0&LAYER=ortho&STYLE=default"
                  "&FORMAT=image/jpeg&TILEMATRIXSET=EPSG:3857&TILEMATRIX=EPSG:3857:{z}&TILEROW={y}&TILECOL={x}",
                  0, 4, "jpg"},
                 // Matrix names that are no zoom number, and the layer's limits narrowing the set's range.
                 {"Roads (day)", "http://maps.example.test/rest/roads/day/2024/Padded/{level:L00,L01,L02,L03}/{y}/{x}.png",
                  1, 2, "png"},
                 {"Roads (night)",
                  "http://maps.example.test/rest/roads/night/2024/Padded/{level:L00,L01,L02,L03}/{y}/{x}.png", 1, 2,
                  "png"}});
  EXPECT_EQ(import.leftOut, std::vector<std::string>{"layer 'Ortho photos' (tile matrix set 'WGS84' is in EPSG:4326)"});
  EXPECT_EQ(import.sources.front().Bounds, (SourceBounds{5, 45, 15, 55}));
  EXPECT_EQ(import.sources.front().Attribution, "Example Mapping Agency");
  EXPECT_EQ(import.sources.front().TermsUrl, "https://maps.example.test/terms");
  EXPECT_EQ(ExpandTilePlaceholders(import.sources[1].Template, {3, 1, 2, RowOrigin::FromTop}),
            "http://maps.example.test/rest/roads/day/2024/Padded/L02/1/3.png");
}

TEST(SourceImportTest, WmtsInAnotherProjectionIsRefusedNamingTheSet) {
  try {
    ImportSourceDocument(Document("wmts-other-projection.xml"), "caps.xml");
    FAIL() << "imported";
  } catch (const SourceImportError& refusal) {
    EXPECT_STREQ(refusal.what(),
                 "The tile matrix set 'WGS84' is in EPSG:4326; only the EPSG:3857 quad tree of 256-pixel tiles can be "
                 "downloaded.");
  }
}

TEST(SourceImportTest, QgisConnectionsWithTheirUnboundPrefix) {
  const SourceImport import = ImportSourceDocument(Document("qgis-connections.xml"), "connections.xml");
  ExpectSources(import, {{"Hills", "http://maps.example.test/hills/{z}/{x}/{y}.png?style=a&api_key=SECRET-1", 1, 12, "png"},
                         {"Plain", "http://maps.example.test/plain/{z}/{x}/{-y}.jpg", 0, 18, "jpg"}});
  EXPECT_EQ(import.sources[0].Headers,
            (RequestHeaders{{"Referer", "https://maps.example.test/"}, {"X-Client", "quarnel-test"}}));
  EXPECT_EQ(import.sources[1].Headers, (RequestHeaders{{"Referer", "https://other.example.test/"}}));
}

TEST(SourceImportTest, NamesTheKeyFileCanHoldOnceEach) {
  SourceImport import;
  for (const char* name : {"[Base]=map", " (base)-map ", "", "\n;Topo"}) {
    import.sources.emplace_back();
    import.sources.back().Name = name;
  }
  MakeNamesUsable(import, "maps.example.test");
  std::vector<std::string> names;
  for (const TileSource& source : import.sources) names.push_back(source.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"(Base)-map", "(base)-map 2", "maps.example.test", "Topo"}));
}

TEST(SourceImportTest, KeysLeaveAddressesAndHeaders) {
  SourceImport import;
  import.sources.resize(3);
  import.sources[0].Template = "https://h/{z}/{x}/{y}.png?token=T1";
  import.sources[0].Headers = {{"X-Api-Key", "T1"}, {"Referer", "https://h/?key=no"}};
  import.sources[1].Template = "https://h/{z}/{x}/{y}.png";
  import.sources[1].Headers = {{"Authorization", "Bearer T2"}};
  import.sources[2].Template = "https://h/{z}/{x}/{y}.png?key=T3";
  import.sources[2].Headers = {{"X-Token", "other"}};
  TakeKeysOut(import);
  EXPECT_EQ(import.keys, (std::vector<std::string>{"T1", "T2", "T3"}));
  EXPECT_EQ(import.sources[0].Headers, (RequestHeaders{{"X-Api-Key", "{key}"}, {"Referer", "https://h/?key=no"}}));
  EXPECT_EQ(import.sources[1].Headers, (RequestHeaders{{"Authorization", "Bearer {key}"}}));
  EXPECT_EQ(import.sources[2].Headers, (RequestHeaders{{"X-Token", "other"}}));  // one key a source: left as it was
  EXPECT_EQ(import.notes.size(), 1u);
}

struct SniffCase {
  const char* text;
  SourceDocumentKind kind;
};

class SniffTest : public testing::TestWithParam<SniffCase> {};

TEST_P(SniffTest, ByTheFirstElementOrBrace) { EXPECT_EQ(SniffSourceDocument(GetParam().text), GetParam().kind); }

INSTANTIATE_TEST_SUITE_P(
    Kinds, SniffTest,
    testing::Values(SniffCase{"\xEF\xBB\xBF  {\"tiles\":[]}", SourceDocumentKind::TileJson},
                    SniffCase{"<?xml version=\"1.0\"?><!-- <qgsXYZTilesConnections> --><wmts:Capabilities/>",
                              SourceDocumentKind::WmtsCapabilities},
                    SniffCase{"<!DOCTYPE connections>\n<qgsXYZTilesConnections/>", SourceDocumentKind::QgisConnections},
                    SniffCase{"<WMS_Capabilities version=\"1.3.0\"/>", SourceDocumentKind::Unknown},
                    SniffCase{"<!doctype html><html></html>", SourceDocumentKind::Unknown},
                    SniffCase{"", SourceDocumentKind::Unknown}));

TEST(SourceImportTest, DocumentsOfAnotherKindAreRefused) {
  for (const char* text : {"<html><body>Sign in</body></html>", "[1, 2]", "{\"tiles\": \"x\"}",
                           "<qgsXYZTilesConnections><xyztiles name=\"a\"/></qgsXYZTilesConnections>",
                           "<Capabilities><Contents></Contents></Capabilities>", "<Capabilities>"})
    EXPECT_THROW(ImportSourceDocument(text, "doc"), SourceImportError) << text;
}

struct AddressCase {
  const char* address;
  std::vector<TileAddressReading> readings;  // the template, zoom, x and y of each
};

class PastedAddressTest : public testing::TestWithParam<AddressCase> {};

TEST_P(PastedAddressTest, ReadingsThatKeepToTheGrid) {
  const std::vector<TileAddressReading> readings = ReadTileAddress(GetParam().address);
  ASSERT_EQ(readings.size(), GetParam().readings.size()) << GetParam().address;
  for (std::size_t i = 0; i < readings.size(); ++i) {
    const TileAddressReading& want = GetParam().readings[i];
    EXPECT_EQ(readings[i].Template, want.Template);
    EXPECT_EQ((std::array{readings[i].zoom, readings[i].x, readings[i].y}), (std::array{want.zoom, want.x, want.y}))
        << want.Template;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, PastedAddressTest,
    testing::Values(
        AddressCase{"https://a.tile.example.test/osm/12/2200/1343.png",
                    {{"https://a.tile.example.test/osm/{z}/{x}/{y}.png", 12, 2200, 1343, ""}}},
        AddressCase{"https://h.example.test/v2/7/64/42@2x.png?lang=de",
                    {{"https://h.example.test/v2/{z}/{x}/{y}@2x.png?lang=de", 7, 64, 42, ""}}},
        // The query's names win over the path's numbers.
        AddressCase{"https://m.example.test/1/2/3/vt?lyrs=m&x=5&y=3&z=4&hl=en",
                    {{"https://m.example.test/1/2/3/vt?lyrs=m&x={x}&y={y}&z={z}&hl=en", 4, 5, 3, ""}}},
        AddressCase{"https://h.example.test/tile?l=5&X=3&Y=4", {{"https://h.example.test/tile?l={z}&X={x}&Y={y}", 5, 3, 4, ""}}},
        AddressCase{"https://w.example.test/wmts?Layer=a&TileMatrix=EPSG:3857:5&TileRow=11&TileCol=16",
                    {{"https://w.example.test/wmts?Layer=a&TileMatrix=EPSG:3857:{z}&TileRow={y}&TileCol={x}", 5, 16, 11,
                      ""}}},
        AddressCase{"https://s.example.test/arcgis/rest/services/World/MapServer/tile/3/2/5",
                    {{"https://s.example.test/arcgis/rest/services/World/MapServer/tile/{z}/{y}/{x}", 3, 5, 2, ""}}},
        // x at 2^z breaks the grid; so does a query's, and then the path has no three numbers.
        AddressCase{"https://h.example.test/tiles/3/8/1.png", {}},
        AddressCase{"https://h.example.test/vt?x=16&y=3&z=4", {}},
        AddressCase{"https://h.example.test/12/0812/1343.png", {}},
        // Two readings keep to the grid: both are offered, the last three numbers first.
        AddressCase{"https://h.example.test/2/3/1/1.png",
                    {{"https://h.example.test/2/{z}/{x}/{y}.png", 3, 1, 1, ""},
                     {"https://h.example.test/{z}/{x}/{y}/1.png", 2, 3, 1, ""}}}));

struct KeyCase {
  const char* address;
  const char* withoutKey;
  const char* key;
};

class TakeKeyOutTest : public testing::TestWithParam<KeyCase> {};

TEST_P(TakeKeyOutTest, LeavesThePlaceholder) {
  std::string key;
  EXPECT_EQ(TakeKeyOut(GetParam().address, key), GetParam().withoutKey);
  EXPECT_EQ(key, GetParam().key);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, TakeKeyOutTest,
    testing::Values(KeyCase{"https://h/{z}/{x}/{y}.png?access_token=pk.abc&style=x",
                            "https://h/{z}/{x}/{y}.png?access_token={key}&style=x", "pk.abc"},
                    KeyCase{"https://h/{z}/{x}/{y}.png?ApiKey=K1&api_key=K2#top",
                            "https://h/{z}/{x}/{y}.png?ApiKey={key}&api_key={key}#top", "K1"},
                    KeyCase{"https://h/{z}/{x}/{y}.png?keyword=a&key=", "https://h/{z}/{x}/{y}.png?keyword=a&key=", ""},
                    KeyCase{"https://h/key=x/{z}/{x}/{y}.png?token={key}", "https://h/key=x/{z}/{x}/{y}.png?token={key}",
                            ""}));

}  // namespace
