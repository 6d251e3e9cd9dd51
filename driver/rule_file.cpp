#include "driver/rule_file.h"

#include <cstring>
#include <fstream>

#include <yaml-cpp/yaml.h>

#include "driver/region_check.h"

namespace {

// A problem found at a node: the message names its line.
struct RuleError {
    YAML::Mark mark;
    std::string what;
};

[[noreturn]] void fail(const YAML::Node &node, const std::string &what)
{
    throw RuleError{node.Mark(), what};
}

int32_t read_int(const YAML::Node &node, const std::string &what)
{
    if (!node.IsScalar())
        fail(node, what + " is not a number");
    try {
        return node.as<int32_t>();
    } catch (const YAML::Exception &) {
        fail(node, what + " '" + node.Scalar() + "' is not a whole number");
    }
}

int32_t read_kind(const YAML::Node &node)
{
    if (!node.IsScalar())
        fail(node, "kind is not a number or a name");
    const std::string text = node.Scalar();
    for (int32_t kind = QV_REGION_ZONE; kind <= QV_REGION_LEFT_OBJECT; ++kind)
        if (text == region_kind_name(kind))
            return kind;
    if (text == "forbidden_zone")
        return QV_REGION_ZONE;
    if (text.find_first_not_of("0123456789-+") != std::string::npos)
        fail(node, "kind '" + text +
                       "' is not 1-5 or one of zone, one_way_line, two_way_line, loiter_zone, left_object_zone");
    const int32_t kind = read_int(node, "kind");
    if (kind < QV_REGION_ZONE || kind > QV_REGION_LEFT_OBJECT)
        fail(node, "kind " + std::to_string(kind) + " is not 1-5");
    return kind;
}

qv_region read_region(const YAML::Node &node, std::string &name)
{
    if (!node.IsMap())
        fail(node, "a region is a mapping with name, kind and points");
    for (const char *key : {"name", "kind", "points"})
        if (!node[key])
            fail(node, std::string("the region has no '") + key + "'");
    for (const auto &entry : node) {
        const std::string key = entry.first.Scalar();
        if (key != "name" && key != "kind" && key != "points")
            fail(entry.first, "unknown key '" + key + "' (a region has name, kind and points)");
    }
    if (!node["name"].IsScalar() || node["name"].Scalar().empty())
        fail(node["name"], "the name is empty or not text");
    name = node["name"].Scalar();

    qv_region region;
    std::memset(&region, 0, sizeof region);
    region.kind = read_kind(node["kind"]);
    const YAML::Node points = node["points"];
    if (!points.IsSequence())
        fail(points, "points is not a list of [x, y] pairs");
    if (points.size() < 1 || points.size() > QV_MAX_REGION_POINTS)
        fail(points, "a region has 1 to 10 points, got " + std::to_string(points.size()));
    for (size_t i = 0; i < points.size(); ++i) {
        const YAML::Node p = points[i];
        if (!p.IsSequence() || p.size() != 2)
            fail(p, "point " + std::to_string(i + 1) + " is not an [x, y] pair");
        region.points[i].x = read_int(p[0], "x of point " + std::to_string(i + 1));
        region.points[i].y = read_int(p[1], "y of point " + std::to_string(i + 1));
    }
    region.point_count = static_cast<int32_t>(points.size());
    const std::string shape = check_region_shape(region);
    if (!shape.empty())
        fail(node, shape);
    return region;
}

} // namespace

std::string read_rule_file(const std::string &path, std::vector<qv_region> &regions,
                           std::vector<std::string> &names)
{
    regions.clear();
    names.clear();
    std::ifstream in(path);
    if (!in)
        return "cannot read rule file " + path + ": " + std::strerror(errno);
    std::string region_label;
    try {
        const YAML::Node root = YAML::Load(in);
        const YAML::Node list = root.IsMap() ? root["regions"] : root;
        if (!list || !list.IsSequence())
            fail(root, "expected 'regions:' followed by a list of regions");
        if (list.size() < 1 || list.size() > QV_MAX_REGIONS)
            fail(list, "a rule file has 1 to 10 regions, got " + std::to_string(list.size()));
        for (size_t i = 0; i < list.size(); ++i) {
            region_label = "region " + std::to_string(i + 1) + ": ";
            std::string name;
            regions.push_back(read_region(list[i], name));
            names.push_back(name);
        }
    } catch (const RuleError &e) {
        regions.clear();
        names.clear();
        const std::string line = e.mark.is_null() ? std::string() : " line " + std::to_string(e.mark.line + 1);
        return "rule file " + path + line + ": " + region_label + e.what;
    } catch (const YAML::Exception &e) {
        regions.clear();
        names.clear();
        const std::string line = e.mark.is_null() ? std::string() : " line " + std::to_string(e.mark.line + 1);
        return "rule file " + path + line + ": " + e.msg;
    }
    return {};
}
