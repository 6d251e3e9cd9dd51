// Regions from a YAML file: the good form, and every bad one naming its line.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "driver/rule_file.h"
#include "tests/support/clips.h"

namespace {

struct Read {
    std::string error;
    std::vector<qv_region> regions;
    std::vector<std::string> names;
};

Read read_text(const TempDir &dir, const std::string &text)
{
    const std::string path = dir.file("rules.yaml");
    std::ofstream(path) << text;
    Read r;
    r.error = read_rule_file(path, r.regions, r.names);
    return r;
}

} // namespace

TEST(RuleFile, NamedRegionsOfEveryKindAreRead)
{
    TempDir dir;
    const Read r = read_text(dir, R"(# the shop front
regions:
  - name: shop door
    kind: two_way_line
    points: [[1200, 450], [1200, 700]]
  - name: "门口 zone"
    kind: 1
    points:
      - [10, 10]
      - [300, 10]
      - [300, 200]
  - {name: exit, kind: one_way_line, points: [[0, 5], [50, 5]]}
  - {name: bench, kind: loiter_zone, points: [[0, 0], [9, 0], [9, 9]]}
  - {name: lockers, kind: left_object_zone, points: [[0, 0], [9, 0], [9, 9]]}
)");
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.regions.size(), 5u);
    EXPECT_EQ(r.names, (std::vector<std::string>{"shop door", "门口 zone", "exit", "bench", "lockers"}));
    EXPECT_EQ(r.regions[0].kind, QV_REGION_LINE_TWO_WAY);
    EXPECT_EQ(r.regions[0].point_count, 2);
    EXPECT_EQ(r.regions[0].points[1].y, 700);
    EXPECT_EQ(r.regions[1].kind, QV_REGION_ZONE);
    EXPECT_EQ(r.regions[1].points[2].x, 300);
    EXPECT_EQ(r.regions[1].reserved[0], 0);
    EXPECT_EQ(r.regions[2].kind, QV_REGION_LINE_ONE_WAY);
    EXPECT_EQ(r.regions[3].kind, QV_REGION_LOITER);
    EXPECT_EQ(r.regions[4].kind, QV_REGION_LEFT_OBJECT);

    // A plain list without the "regions:" key is taken too.
    EXPECT_EQ(read_text(dir, "- {name: a, kind: 3, points: [[1, 1], [5, 5]]}\n").error, "");
}

TEST(RuleFile, BadFilesNameTheLine)
{
    TempDir dir;
    const std::string head = "regions:\n  - name: door\n    kind: two_way_line\n    points: [[1, 1], [9, 9]]\n";
    struct Case {
        std::string text;
        std::string says;
    };
    for (const Case &c : std::vector<Case>{
             {head + "  - name: gate\n    kind: [3\n", "line 7: end of sequence flow not found"},  // not YAML
             {head + "  - name: gate\n    kind: 9\n    points: [[1, 1], [9, 9]]\n", "line 6: region 2: kind 9 is not 1-5"},
             {head + "  - name: gate\n    kind: fence\n    points: [[1, 1], [9, 9]]\n", "line 6: region 2: kind 'fence'"},
             {head + "  - name: gate\n    kind: 3\n", "line 5: region 2: the region has no 'points'"},
             {head + "  - name: gate\n    kind: 3\n    colour: red\n    points: [[1, 1], [9, 9]]\n",
              "line 7: region 2: unknown key 'colour'"},
             {head + "  - name: gate\n    kind: 3\n    points: [[1, 1], [9, x]]\n",
              "line 7: region 2: y of point 2 'x' is not a whole number"},
             {head + "  - name: gate\n    kind: 3\n    points: [[1, 1], [9]]\n",
              "line 7: region 2: point 2 is not an [x, y] pair"},
             {head + "  - name: gate\n    kind: 3\n    points: [[4, 4], [4, 4]]\n",
              "line 5: region 2: the line's two end points are the same"},
             {head + "  - name: yard\n    kind: zone\n    points: [[0, 0], [9, 9], [9, 0], [0, 9]]\n",
              "line 5: region 2: the zone crosses itself"},
             {head + "  - name: \"\"\n    kind: 3\n    points: [[1, 1], [9, 9]]\n", "line 5: region 2: the name is empty"},
             {"regions: 3\n", "line 1: expected 'regions:'"},
             {"", "expected 'regions:'"},
         }) {
        const Read r = read_text(dir, c.text);
        EXPECT_NE(r.error.find("rules.yaml"), std::string::npos) << r.error;
        EXPECT_NE(r.error.find(c.says), std::string::npos) << c.text << " -> " << r.error;
        EXPECT_TRUE(r.regions.empty());
    }
    std::string eleven = "regions:\n";
    for (int i = 0; i < 11; ++i)
        eleven += "  - {name: r" + std::to_string(i) + ", kind: 3, points: [[1, 1], [9, 9]]}\n";
    EXPECT_NE(read_text(dir, eleven).error.find("1 to 10 regions, got 11"), std::string::npos);

    std::vector<qv_region> regions;
    std::vector<std::string> names;
    EXPECT_NE(read_rule_file(dir.file("missing.yaml"), regions, names).find("cannot read rule file"),
              std::string::npos);
}
