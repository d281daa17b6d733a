// The physics records on their own: domain membership and ordering, interface sides and their
// rebuilt locations, periodicity and axis, side indices out of range, and the dumps.
#include "ZoneMapTestSupport.h"
#include "vsnBoundary.h"
#include "vsnDomain.h"
#include "vsnInterface.h"
#include "vsnSubdomain.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <string>
#include <vector>

namespace {

const std::string kRule = "==============================================\n";

struct Records {
  std::vector<vsnBoundary *> boundaries;
  ~Records() {
    for (vsnBoundary *b : boundaries)
      vsnBoundary_delete(b);
  }
  vsnBoundary *boundary(const char *name, const char *location) {
    vsnBoundary *b = vsnBoundary_new(name);
    vsnBoundary_setLocation(b, location);
    boundaries.push_back(b);
    return b;
  }
};

TEST(PhysicsRecordsTest, FluidMeansExactlyFluid) {
  for (const char *type : {"Fluid", "fluid", "Fluid ", "Solid"}) {
    vsnDomain *d = vsnDomain_new("D", type);
    EXPECT_EQ(vsnDomain_isFluid(d), std::string(type) == "Fluid") << type;
    vsnDomain_delete(d);
  }
}

// Each record hands out its location's components as new strings; no location gives -1.
TEST(PhysicsRecordsTest, LocationComponentsOfEveryRecord) {
  vsnDomain *d = vsnDomain_new("D", "Solid");
  EXPECT_STREQ(vsnDomain_getType(d), "Solid");
  vsnSubdomain *s = vsnSubdomain_new("s");
  Records r;
  vsnBoundary *b = r.boundary("b", "Inlet, Outlet, Wall");
  char **names = reinterpret_cast<char **>(1);
  EXPECT_EQ(vsnDomain_getLocationComponents(d, &names), -1);
  EXPECT_EQ(names, nullptr);
  EXPECT_EQ(vsnSubdomain_getLocationString(s), nullptr);
  EXPECT_EQ(vsnSubdomain_getLocationComponents(s, &names), -1);

  ASSERT_EQ(vsnDomain_setLocation(d, "Left, Right"), 1);
  ASSERT_EQ(vsnSubdomain_setLocation(s, "Left"), 1);
  const auto components = [&](int32_t n) {
    std::vector<std::string> v(names, names + (n > 0 ? n : 0));
    zyrCStringArray_free(names, n > 0 ? n : 0);
    return v;
  };
  EXPECT_EQ(components(vsnDomain_getLocationComponents(d, &names)), (std::vector<std::string>{"Left", "Right"}));
  EXPECT_STREQ(vsnSubdomain_getLocationString(s), "Left");
  EXPECT_EQ(components(vsnSubdomain_getLocationComponents(s, &names)), std::vector<std::string>{"Left"});
  EXPECT_EQ(components(vsnBoundary_getLocationComponents(b, &names)),
            (std::vector<std::string>{"Inlet", "Outlet", "Wall"}));
  vsnSubdomain_delete(s);
  vsnDomain_delete(d);
}

TEST(PhysicsRecordsTest, DomainMembershipLinksAndSubdomainsSortOnDemand) {
  vsnDomain *d = vsnDomain_new("D", "Fluid");
  vsnSubdomain *z = vsnSubdomain_new("z"), *a = vsnSubdomain_new("a"), *B = vsnSubdomain_new("B");
  vsnBoundary *wall = vsnBoundary_new("wall"), *inlet = vsnBoundary_new("inlet");
  for (vsnSubdomain *s : {z, a, B})
    vsnDomain_addSubdomain(d, s);
  vsnDomain_addBoundary(d, wall);
  vsnDomain_addBoundary(d, inlet);
  EXPECT_EQ(vsnSubdomain_getDomain(a), d);
  EXPECT_EQ(vsnBoundary_getDomain(wall), d);

  vsnSubdomain **subdomains = nullptr;
  ASSERT_EQ(vsnDomain_getSubdomains(d, &subdomains), 3);
  EXPECT_EQ((std::vector<vsnSubdomain *>(subdomains, subdomains + 3)), (std::vector<vsnSubdomain *>{B, a, z}));
  zyrMemory_free(subdomains, __func__);
  EXPECT_EQ(d->m_isOrdered, 1);
  // Boundaries keep the order they were added in.
  vsnBoundary **boundaries = nullptr;
  ASSERT_EQ(vsnDomain_getBoundaries(d, &boundaries), 2);
  EXPECT_EQ(boundaries[0], wall);
  zyrMemory_free(boundaries, __func__);

  EXPECT_EQ(vsnDomain_removeSubdomain(d, a), 1);
  EXPECT_EQ(d->m_isOrdered, 0);
  EXPECT_EQ(vsnSubdomain_getDomain(a), nullptr);
  EXPECT_EQ(vsnDomain_removeSubdomain(d, a), 0);
  EXPECT_EQ(vsnDomain_removeBoundary(d, inlet), 1);
  EXPECT_EQ(vsnDomain_removeBoundary(d, inlet), 0);
  EXPECT_EQ(vsnBoundary_getDomain(inlet), nullptr);

  EXPECT_EQ(zyrtest::printed([&](FILE *s) { vsnDomain_print(d, s); }),
            "\n" + kRule + "vsnDomain \"D\"\n" + kRule + "\n------------------------------------\n" +
                "Location: \" \"\n------------------------------------\n\nState = Undefined.\n" +
                "------------------------------------\n" +
                "\nNo. of boundaries = 1\n  \"wall\"\n\nNo. of subdomains = 2\n  \"B\"\n  \"z\"\n\n(m_isOrdered = 0)\n" +
                kRule + "\n");
  vsnDomain_delete(d);
  for (vsnSubdomain *s : {z, a, B})
    vsnSubdomain_delete(s);
  vsnBoundary_delete(wall);
  vsnBoundary_delete(inlet);
}

TEST(PhysicsRecordsTest, SideLocationFollowsItsBoundaries) {
  Records r;
  vsnBoundary *inlets = r.boundary("inlets", "Inlet1, Inlet2");
  vsnBoundary *wall = r.boundary("wall", "Wall");
  vsnInterface *i = vsnInterface_new("I", VSN_INTERFACE_MATCHED);
  EXPECT_EQ(vsnInterface_addBoundary(i, 0, inlets), 1);
  EXPECT_EQ(vsnInterface_addBoundary(i, 0, wall), 1);
  EXPECT_STREQ(vsnInterface_getLocationString(i, 0), "Inlet1, Inlet2, Wall");
  char **names = nullptr;
  ASSERT_EQ(vsnInterface_getLocationComponents(i, 0, &names), 3);
  EXPECT_STREQ(names[2], "Wall");
  zyrCStringArray_free(names, 3);

  // A second add changes nothing.
  EXPECT_EQ(vsnInterface_addBoundary(i, 0, wall), 0);
  EXPECT_STREQ(vsnInterface_getLocationString(i, 0), "Inlet1, Inlet2, Wall");
  EXPECT_EQ(vsnInterface_removeBoundary(i, 0, inlets), 1);
  EXPECT_STREQ(vsnInterface_getLocationString(i, 0), "Wall");
  EXPECT_EQ(vsnInterface_removeBoundary(i, 0, inlets), 0);
  EXPECT_EQ(vsnInterface_removeBoundary(i, 0, wall), 1);
  EXPECT_EQ(vsnInterface_getLocationString(i, 0), nullptr);
  EXPECT_EQ(vsnInterface_getLocationComponents(i, 0, &names), -1);
  EXPECT_EQ(names, nullptr);
  // The other side was never touched.
  EXPECT_EQ(vsnInterface_getLocationString(i, 1), nullptr);
  vsnInterface_delete(i);
}

TEST(PhysicsRecordsTest, SideIndicesOtherThanZeroAndOneChangeNothing) {
  Records r;
  vsnBoundary *wall = r.boundary("wall", "Wall");
  vsnInterface *i = vsnInterface_new("I", VSN_INTERFACE_AUTOMATIC);
  for (int side : {-1, 2}) {
    vsnBoundary **boundaries = reinterpret_cast<vsnBoundary **>(&r);
    EXPECT_EQ(vsnInterface_getBoundaries(i, side, &boundaries), -1);
    EXPECT_EQ(boundaries, nullptr);
    EXPECT_EQ(vsnInterface_addBoundary(i, side, wall), 0);
    EXPECT_EQ(vsnInterface_removeBoundary(i, side, wall), 0);
    EXPECT_EQ(vsnInterface_setSideLocation(i, side, "X"), 0);
    EXPECT_EQ(vsnInterface_setBoundaryNames(i, side, "X"), 0);
    EXPECT_EQ(vsnInterface_getBoundaryNames(i, side), nullptr);
    EXPECT_EQ(vsnInterface_getLocationString(i, side), nullptr);
    char **names = nullptr;
    EXPECT_EQ(vsnInterface_parseBoundaryNames(i, side, &names), -1);
  }
  vsnInterface_delete(i);
}

TEST(PhysicsRecordsTest, BoundaryNamesTextParsesLikeALocation) {
  vsnInterface *i = vsnInterface_new("I", VSN_INTERFACE_MATCHED);
  char **names = nullptr;
  EXPECT_EQ(vsnInterface_parseBoundaryNames(i, 1, &names), -1);
  EXPECT_EQ(vsnInterface_setBoundaryNames(i, 1, " a b ,, c "), 1);
  EXPECT_STREQ(vsnInterface_getBoundaryNames(i, 1), " a b ,, c ");
  ASSERT_EQ(vsnInterface_parseBoundaryNames(i, 1, &names), 2);
  EXPECT_STREQ(names[0], "a b");
  EXPECT_STREQ(names[1], "c");
  zyrCStringArray_free(names, 2);
  vsnInterface_delete(i);
}

TEST(PhysicsRecordsTest, PeriodicityOutsideItsRangeIsRefused) {
  vsnInterface *i = vsnInterface_new("I", VSN_INTERFACE_MATCHED);
  const double root[3] = {1, 2, 3}, tip[3] = {4, 5, 6}, other[3] = {9, 9, 9};
  ASSERT_EQ(vsnInterface_setPeriodicity(i, 2, "mm", root, tip), 1);
  EXPECT_EQ(vsnInterface_setPeriodicity(i, 3, "m", other, other), 0);
  EXPECT_EQ(vsnInterface_setPeriodicity(i, -2, "m", other, other), 0);
  double r[3], t[3];
  ASSERT_EQ(vsnInterface_getAxis(i, "m", r, t), 1);
  EXPECT_DOUBLE_EQ(r[0], 0.001);
  EXPECT_DOUBLE_EQ(t[2], 0.006);

  ASSERT_EQ(vsnInterface_setPeriodicity(i, -1, "m", other, other), 1);
  EXPECT_EQ(vsnInterface_getPeriodicity(i), 1);
  r[0] = -5;
  EXPECT_EQ(vsnInterface_getAxis(i, "m", r, t), 0);
  EXPECT_EQ(r[0], -5);
  vsnInterface_delete(i);
}

TEST(PhysicsRecordsTest, InterfaceDump) {
  Records r;
  vsnInterface *i = vsnInterface_new("I", VSN_INTERFACE_UNMATCHED);
  const double root[3] = {0, 0, 1}, tip[3] = {0, 0, 2};
  vsnInterface_setPeriodicity(i, 2, "m", root, tip);
  vsnInterface_setBoundaryNames(i, 0, "a");
  vsnInterface_addBoundary(i, 1, r.boundary("b", "B"));
  const std::string undefined = "\n------------------------------------\nLocation: \" \"\n"
                                "------------------------------------\n\nState = Undefined.\n"
                                "------------------------------------\n";
  const std::string defined = "\n------------------------------------\nLocation: \"B\"\n"
                              "------------------------------------\n\nState = Defined - Unresolved.\n"
                              "\nNo. of components = 1\n  \"B\"\n------------------------------------\n";
  EXPECT_EQ(zyrtest::printed([&](FILE *s) { vsnInterface_print(i, s); }),
            "\n" + kRule + "vsnInterface \"I\"\n" + kRule + "Type        = Unmatched\n" +
                "Periodicity = Rotational (axis supplied)        [2]\n" +
                "\nAxis of periodicity: Root = [0.000000e+00, 0.000000e+00, 1.000000e+00] [m]" +
                "\n                     Tip  = [0.000000e+00, 0.000000e+00, 2.000000e+00] [m]\n\n" +
                "Side 0:\n------\n  \"a\"\n\n" + undefined + "Side 1:\n------\n  [Boundary names not set]\n  \"b\"\n\n" +
                defined + kRule + "\n");
  i->m_type = 7;
  i->m_periodicity = 0;
  const std::string text = zyrtest::printed([&](FILE *s) { vsnInterface_print(i, s); });
  EXPECT_NE(text.find("Type        = INVALID DATA\nPeriodicity = None                              [0]\nSide 0:"),
            std::string::npos)
      << text;
  vsnInterface_delete(i);
}

TEST(PhysicsRecordsTest, BoundaryAndSubdomainDumpsNameTheirDomain) {
  vsnDomain *d = vsnDomain_new("Dom", "Fluid");
  vsnBoundary *b = vsnBoundary_new("b");
  vsnSubdomain *s = vsnSubdomain_new("s");
  const std::string location = "\n------------------------------------\nLocation: \" \"\n"
                               "------------------------------------\n\nState = Undefined.\n"
                               "------------------------------------\n";
  EXPECT_EQ(zyrtest::printed([&](FILE *f) { vsnBoundary_print(b, f); }),
            "\n" + kRule + "vsnBoundary \"b\"\n" + kRule + "\nDomain = ***Not set***" + location + kRule + "\n");
  vsnDomain_addBoundary(d, b);
  vsnDomain_addSubdomain(d, s);
  EXPECT_EQ(zyrtest::printed([&](FILE *f) { vsnSubdomain_print(s, f); }),
            "\n" + kRule + "vsnSubdomain \"s\"\n" + kRule + "Domain = \"Dom\" " + location + kRule + "\n");
  vsnDomain_delete(d);
  vsnBoundary_delete(b);
  vsnSubdomain_delete(s);
}

} // namespace
