// The session file: every field back exactly whatever bytes the names hold,
// and a broken file refused with its reason and never touched.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "analysis/run_session.h"

using namespace kalibron;
namespace fs = std::filesystem;

namespace {

RunSession hostileSession()
{
    RunSession s;
    s.directory = "/data/run \"7\"\\\xff\xfe";
    s.day = "0808_27";
    s.extension = "en\x01";
    s.marker = "-\xc3";
    s.probabilityLevel = 5;
    s.interpolated = true;
    s.alertMultiple = 2.4999999999999996;
    s.alertMethod = "poly3";
    RegressionSettings& r = s.regression;
    r.chkZigZag = !r.chkZigZag;
    r.chkConf = !r.chkConf;
    r.chkLog = !r.chkLog;
    for (bool& b : r.chkPoly)
        b = !b;
    r.ComboBox1 = "11";
    r.yFull = !r.yFull;
    r.xFull = !r.xFull;
    for (bool& b : r.chkEX)
        b = !b;
    r.weightByYErrors = !r.weightByYErrors;
    r.exportUncertainties = !r.exportUncertainties;
    r.uncertainties = !r.uncertainties;
    r.bandMethod = "spline";
    s.uncertaintyColumn = UncertaintyChoice::Polynomial2;
    for (bool& b : r.chkDrift)
        b = !b;
    r.chkDriftEX[2] = true;
    const char* const patterns[] = {"q\"uo\\te",         "ctl\x01\x1f\t\n\r", "bad\xff\xfe",
                                    "\xc3\xa9t\xc3\xa9", "over\xc0\xaf",      "cut\xe2\x82"};
    for (int i = 0; i < 1000; ++i) {
        RowMark m;
        m.name = patterns[i % 6] + std::to_string(i);
        m.type = i % 2 ? "Std" : "";
        m.standardValue = i % 3 == 0 ? "" : i % 3 == 1 ? std::to_string(i) + ".25" : "-1.5e-3";
        m.rejected = i % 7 == 0;
        s.rows.push_back(m);
    }
    return s;
}

void expectSame(const RunSession& a, const RunSession& b)
{
    EXPECT_EQ(a.directory, b.directory);
    EXPECT_EQ(a.day, b.day);
    EXPECT_EQ(a.extension, b.extension);
    EXPECT_EQ(a.marker, b.marker);
    EXPECT_EQ(a.probabilityLevel, b.probabilityLevel);
    EXPECT_EQ(a.interpolated, b.interpolated);
    EXPECT_EQ(a.alertMultiple, b.alertMultiple);
    EXPECT_EQ(a.alertMethod, b.alertMethod);
    EXPECT_EQ(a.uncertaintyColumn, b.uncertaintyColumn);
    // Every member, so that a setting added later and left out of the file fails here.
    EXPECT_TRUE(a.regression == b.regression);
    ASSERT_EQ(a.rows.size(), b.rows.size());
    for (std::size_t i = 0; i < a.rows.size(); ++i) {
        EXPECT_EQ(a.rows[i].name, b.rows[i].name) << i;
        EXPECT_EQ(a.rows[i].type, b.rows[i].type) << i;
        EXPECT_EQ(a.rows[i].standardValue, b.rows[i].standardValue) << i;
        EXPECT_EQ(a.rows[i].rejected, b.rows[i].rejected) << i;
    }
}

std::string bytesOf(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SessionFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("kalibron_session_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
};

} // namespace

TEST_F(SessionFile, HostileNamesAndEverySettingComeBackThroughTheFile)
{
    const RunSession original = hostileSession();
    const std::string text = sessionJson(original);
    // Plain UTF-8 text with LF ends, whatever the names hold.
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
    for (std::size_t i = 0; i < text.size(); ++i)
        ASSERT_TRUE(static_cast<unsigned char>(text[i]) >= 0x20 || text[i] == '\n') << i;

    const SessionRead parsed = parseSession(text, "s.json");
    ASSERT_TRUE(parsed.session) << parsed.problem;
    expectSame(original, *parsed.session);
    // Written once, the text is a fixed point.
    EXPECT_EQ(sessionJson(*parsed.session), text);

    // Through a folder that does not exist yet, and over an earlier file.
    const fs::path path = m_dir / "a" / "b" / "s.json";
    EXPECT_EQ(writeSessionFile(RunSession{}, path.string()), "");
    EXPECT_EQ(writeSessionFile(original, path.string()), "");
    EXPECT_EQ(bytesOf(path), text);
    const SessionRead read = readSessionFile(path.string());
    ASSERT_TRUE(read.session) << read.problem;
    expectSame(original, *read.session);
    EXPECT_EQ(fs::directory_iterator(path.parent_path())->path(), path); // no temporary left

    // A folder that cannot be made: the message names the file.
    std::ofstream(m_dir / "plain") << "x";
    const std::string refused = writeSessionFile(original, (m_dir / "plain" / "s.json").string());
    EXPECT_NE(refused.find("cannot write the session file"), std::string::npos) << refused;
    EXPECT_EQ(bytesOf(m_dir / "plain"), "x");
}

TEST_F(SessionFile, BrokenFilesAreRefusedWithTheirReasonAndLeftAsTheyAre)
{
    fs::create_directories(m_dir);
    const fs::path path = m_dir / "session.json";
    const std::string valid = sessionJson(hostileSession());
    auto expectRefused = [&](const std::string& bytes, const std::string& fragment) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        const auto written = fs::last_write_time(path);
        const SessionRead read = readSessionFile(path.string());
        EXPECT_FALSE(read.session) << fragment;
        EXPECT_NE(read.problem.find("the session file " + path.string() + " is not a KALIBRON session: "),
                  std::string::npos)
            << read.problem;
        EXPECT_NE(read.problem.find(fragment), std::string::npos) << read.problem;
        EXPECT_EQ(bytesOf(path), bytes);
        EXPECT_EQ(fs::last_write_time(path), written);
    };
    // Cut anywhere: the whole document is needed (its last byte is the LF).
    for (const std::size_t cut : {std::size_t{0}, std::size_t{1}, valid.size() / 3, valid.size() / 2, valid.size() - 2})
        expectRefused(valid.substr(0, cut), cut == 0 ? "it is empty" : "(line ");
    expectRefused("{\n\"kalibron_session\": 1,\n\"day\": x\n}\n", "(line 3)");
    expectRefused("[1, 2]", "not a JSON object");
    expectRefused("{\"day\": \"0808_27\"}", "\"kalibron_session\" is missing");
    expectRefused("{\"kalibron_session\": 2}", "version 1");
    expectRefused("{\"kalibron_session\": 1, \"probability_level\": \"3\"}", "\"probability_level\" is not a whole");
    expectRefused("{\"kalibron_session\": 1, \"probability_level\": 7}", "\"probability_level\" is 7");
    expectRefused("{\"kalibron_session\": 1, \"probability_level\": 4294967299}", "is 4294967299, not 1 .. 6");
    expectRefused("{\"kalibron_session\": 1, \"alert\": {\"multiple\": -1}}", "\"alert.multiple\"");
    expectRefused("{\"kalibron_session\": 1, \"alert\": {\"method\": \"poly1\"}}", "\"alert.method\"");
    expectRefused("{\"kalibron_session\": 1, \"regression\": {\"band_method\": \"cubic\"}}",
                  "\"regression.band_method\" is \"cubic\"");
    expectRefused("{\"kalibron_session\": 1, \"regression\": {\"polynomials\": [true]}}", "\"regression.polynomials\"");
    expectRefused("{\"kalibron_session\": 1, \"regression\": {\"zigzag\": 1}}", "\"regression.zigzag\"");
    expectRefused("{\"kalibron_session\": 1, \"directory_hex\": \"4g\"}", "\"directory_hex\"");
    expectRefused("{\"kalibron_session\": 1, \"rows\": [{\"type\": \"Std\"}]}", "\"rows[0].name\"");
    expectRefused("{\"kalibron_session\": 1, \"rows\": [{\"name\": \"a\", \"value\": \"12abc\"}]}",
                  "\"rows[0].value\"");
    expectRefused("{\"kalibron_session\": 1, \"rows\": [{\"name\": \"a\", \"type\": \"Smp\"}]}", "\"rows[0].type\"");

    // A session names its folder, absolute, and its day.
    const std::string head = "{\"kalibron_session\": 1, ";
    expectRefused(head + "\"day\": \"0808_27\"}", "\"directory\" is missing");
    expectRefused(head + "\"directory\": \"run/7\", \"day\": \"0808_27\"}", "not an absolute path");
    expectRefused(head + "\"directory\": \"/run\", \"day\": \"\"}", "\"day\" is missing or empty");

    // Keys this program does not know are passed over; missing ones keep their defaults.
    const SessionRead sparse = parseSession(head + "\"directory\": \"/run\", \"day\": \"0808_27\", \"later\": "
                                                   "{\"x\": [1]}, \"regression\": {\"logarithmic\": false}}",
                                            "f");
    ASSERT_TRUE(sparse.session) << sparse.problem;
    RunSession expected;
    expected.directory = "/run";
    expected.day = "0808_27";
    expected.regression.chkLog = false;
    expectSame(*sparse.session, expected);

    const SessionRead missing = readSessionFile((m_dir / "none.json").string());
    EXPECT_FALSE(missing.session);
    EXPECT_NE(missing.problem.find("cannot read the session file"), std::string::npos) << missing.problem;
    // A device is refused at once, not read without end.
    const SessionRead device = readSessionFile("/dev/zero");
    EXPECT_FALSE(device.session);
    EXPECT_NE(device.problem.find("not a plain file"), std::string::npos) << device.problem;
}

TEST(SessionFileName, StableSafeAndKeyedByAbsoluteFolderAndDay)
{
    const std::string name = sessionFileName("/data/run 7", "0808_27");
    EXPECT_TRUE(std::regex_match(name, std::regex("session-[0-9a-f]{16}-0808_27\\.json"))) << name;
    EXPECT_EQ(sessionFileName("/data/run 7/", "0808_27"), name);
    EXPECT_NE(sessionFileName("/data/run 8", "0808_27"), name);
    EXPECT_NE(sessionFileName("/data/run 7", "0808_28"), name);
    EXPECT_EQ(sessionFileName("rel", "d"), sessionFileName((fs::current_path() / "rel").string(), "d"));
    const std::string odd = sessionFileName("/x/\xff\n", "08/8 .\xc3\xa9");
    EXPECT_TRUE(std::regex_match(odd, std::regex("session-[0-9a-f]{16}-08_8____\\.json"))) << odd;
    // FNV-1a 64 of "/" by hand: (offset basis ^ 0x2f) * prime, modulo 2^64.
    const std::uint64_t slash = (14695981039346656037ull ^ 0x2fu) * 1099511628211ull;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(slash));
    EXPECT_EQ(sessionFileName("/", "d"), std::string("session-") + hex + "-d.json");
}
