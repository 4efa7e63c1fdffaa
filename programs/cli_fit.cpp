#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "analysis/method_ranking.h"
#include "analysis/polynomial_rows.h"
#include "core/messages.h"
#include "core/store.h"
#include "programs/cli_json.h"
#include "programs/cli_session.h"

namespace kalibron {

namespace {

// One method's leave-one-out figures; null when it has none.
void appendFigures(std::string& json, const std::optional<LeaveOneOut>& figures)
{
    if (!figures) {
        json += "null";
        return;
    }
    JsonObject fields(json);
    appendJsonNumber(fields.key("mean"), figures->mean);
    appendJsonNumber(fields.key("meanPct"), figures->meanPct);
    appendJsonNumber(fields.key("max"), figures->max);
    appendJsonNumber(fields.key("maxAt"), figures->maxAt);
    fields.close();
}

// "loo" with every method the window can show, the polynomials by degree;
// "ranking", the keys of the methods that have a figure, best first; and the
// first and last used standard (null without any).
void appendLeaveOneOut(JsonObject& root, const MethodRanking& ranking)
{
    const auto find = [&](std::string_view key) -> const MethodScore* {
        for (const MethodScore& method : ranking.methods)
            if (method.key == key)
                return &method;
        return nullptr;
    };
    {
        JsonObject loo(root.key("loo"));
        for (const char* key : {"lin", "log"})
            appendFigures(loo.key(key), find(key) ? find(key)->loo : std::nullopt);
        std::vector<int> degrees;
        for (const MethodScore& method : ranking.methods)
            if (method.key.starts_with("poly"))
                degrees.push_back(std::stoi(method.key.substr(4)));
        std::sort(degrees.begin(), degrees.end());
        JsonObject poly(loo.key("poly"));
        for (const int degree : degrees)
            appendFigures(poly.key(std::to_string(degree)), find("poly" + std::to_string(degree))->loo);
        poly.close();
        appendFigures(loo.key("zigzag"), find("zigzag") ? find("zigzag")->loo : std::nullopt);
        for (const char* key : kDriftMethodKeys)
            appendFigures(loo.key(key), find(key) ? find(key)->loo : std::nullopt);
        loo.close();
    }
    std::string& order = root.key("ranking");
    order += '[';
    bool first = true;
    for (const MethodScore& method : ranking.methods) {
        if (!method.loo)
            continue;
        if (!first)
            order += ',';
        first = false;
        appendJsonString(order, method.key);
    }
    order += ']';
    for (const auto& [name, position] :
         {std::pair{"firstStandard", ranking.firstStandard}, std::pair{"lastStandard", ranking.lastStandard}}) {
        if (position)
            appendJsonNumber(root.key(name), *position);
        else
            root.key(name) += "null";
    }
}

// Each ticked polynomial row as the calculation left it.
void appendPolyRows(std::string& json, const CalculationResult& result)
{
    JsonObject rows(json);
    for (int s = 1; s <= 5; ++s) {
        const auto& row = result.fits.poly[static_cast<std::size_t>(s)];
        if (!row)
            continue;
        std::string& text = rows.key(std::to_string(s));
        JsonObject fields(text);
        appendJsonNumber(fields.key("degree"), row->degree);
        std::string& coefficients = fields.key("coefficients");
        if (row->fitted) {
            coefficients += '[';
            for (std::size_t p = 0; p < row->coefficients.size(); ++p) {
                if (p > 0)
                    coefficients += ',';
                appendJsonCell(coefficients, ValueCell(row->coefficients[p]));
            }
            coefficients += ']';
        } else {
            coefficients += "null";
        }
        if (row->fitted && row->dsig)
            appendJsonNumber(fields.key("dsig"), *row->dsig);
        else
            fields.key("dsig") += "null";
        appendJsonCell(fields.key("PolyDev"), row->fitted ? row->PolyDev : ValueCell());
        appendJsonCell(fields.key("PolyDevPct"), row->fitted ? row->PolyDevPct : ValueCell());
        fields.close();
    }
    rows.close();
}

void appendOptionalNumber(std::string& json, const std::optional<double>& value)
{
    if (value)
        appendJsonNumber(json, *value);
    else
        json += "null";
}

// A method's uncertainty in brief: the mean of u over the samples (the
// positions without a used standard) where it has one, its s (unweighted)
// and its MSWD (weighted); null for a method that did not run.
void appendUncertaintySummary(std::string& json, const FitUncertainty* fit, const Store& store)
{
    if (fit == nullptr) {
        json += "null";
        return;
    }
    double sum = 0;
    int count = 0;
    for (std::size_t x = 0; x < fit->u.size(); ++x) {
        if (!store.isUsed(static_cast<int>(x)) && std::isfinite(fit->u[x])) {
            sum += fit->u[x];
            ++count;
        }
    }
    JsonObject fields(json);
    appendOptionalNumber(fields.key("u"), count > 0 ? std::optional<double>(sum / count) : std::nullopt);
    appendOptionalNumber(fields.key("s"), fit->s);
    appendOptionalNumber(fields.key("mswd"), fit->mswd);
    fields.close();
}

void appendUncertainties(std::string& json, const FitResults& fits, const Store& store)
{
    JsonObject all(json);
    all.key("weighted") += fits.weighted ? "true" : "false";
    appendUncertaintySummary(all.key("lin"), fits.linear ? &fits.linear->uncertainty : nullptr, store);
    appendUncertaintySummary(all.key("log"), fits.logarithmic ? &fits.logarithmic->uncertainty : nullptr, store);
    {
        JsonObject rows(all.key("poly"));
        for (std::size_t slot = 1; slot <= 5; ++slot) {
            const auto& row = fits.poly[slot];
            if (row)
                appendUncertaintySummary(rows.key(std::to_string(slot)), row->fitted ? &row->uncertainty : nullptr,
                                         store);
        }
        rows.close();
    }
    appendUncertaintySummary(all.key("zigzag"), fits.zigzagUncertainty ? &*fits.zigzagUncertainty : nullptr, store);
    all.close();
}

// A drift method as the calculation left it: null unless shown or exported;
// otherwise λ (spline), effective degrees of freedom, the in-sample
// deviations, its u summary and whether the ranking finds it no better than
// no correction.
void appendDriftMethod(std::string& json, const DriftResult* curve, const MethodScore* score, const Store& store)
{
    if (curve == nullptr) {
        json += "null";
        return;
    }
    JsonObject fields(json);
    appendOptionalNumber(fields.key("lambda"), curve->lambda);
    appendOptionalNumber(fields.key("edf"), curve->degreesOfFreedom);
    appendOptionalNumber(fields.key("dev"), curve->dev);
    appendOptionalNumber(fields.key("devPct"), curve->devPct);
    fields.key("weighted") += curve->weighted ? "true" : "false";
    appendUncertaintySummary(fields.key("u"), &curve->uncertainty, store);
    fields.key("noBetterThanBaseline") += score && score->noBetterThanBaseline ? "true" : "false";
    fields.close();
}

} // namespace

// `kalibron fit`: the engine's values, the labels, the leave-one-out figures
// and the messages as one JSON object.
int writeFit(CliSession& session)
{
    const Store& s = session.store();
    const CalculationResult& result = session.result();
    const ResultLabels& l = result.labels;
    std::string json;
    json.reserve(8192);
    JsonObject root(json);
    auto number = [&](std::string_view name, double value) { appendJsonNumber(root.key(name), value); };
    auto cell = [&](std::string_view name, const ValueCell& value) { appendJsonCell(root.key(name), value); };

    number("MaxX", s.MaxX);
    number("nPoints", s.nPoints);
    number("nPointsAll", s.nPointsAll);
    number("nCols", s.nCols);
    number("FirstX", s.FirstX);
    number("MaxY", s.MaxY);
    number("MinY", s.MinY);
    cell("LinA", s.LinA);
    cell("LinB", s.LinB);
    cell("LinR", s.LinR);
    cell("LinDev", s.LinDev);
    cell("LinDevPct", s.LinDevPct);
    cell("LogA", s.LogA);
    cell("LogB", s.LogB);
    cell("LogR", s.LogR);
    cell("LogDev", s.LogDev);
    cell("LogDevPct", s.LogDevPct);
    cell("tValue", s.tValue);
    // A program that keeps none of the band's quantities has none to report.
    if (session.options().profile.regressionWindow.calculation.keepBandQuantities) {
        cell("ConfS", s.ConfS);
        cell("ConfSxx", s.ConfSxx);
        cell("ConfXMean", s.ConfXMean);
    }
    const int clusters = std::clamp(s.nClusters, 0, static_cast<int>(s.ZzX.size()) - 1);
    number("nClusters", clusters);
    for (const auto& [name, values] : {std::pair{"ZzX", &s.ZzX}, std::pair{"ZzY", &s.ZzY}}) {
        std::string& array = root.key(name);
        array += '[';
        for (int c = 1; c <= clusters; ++c) {
            if (c > 1)
                array += ',';
            appendJsonCell(array, (*values)[static_cast<std::size_t>(c)]);
        }
        array += ']';
    }
    appendPolyRows(root.key("poly"), result);

    {
        JsonObject labels(root.key("labels"));
        auto text = [&](std::string_view name, const std::string& value) { appendJsonString(labels.key(name), value); };
        // A count label the run did not reach keeps an earlier text, and the
        // tool has run no earlier calculation: null.
        auto kept = [&](std::string_view name, const std::optional<std::string>& value) {
            if (value)
                text(name, *value);
            else
                labels.key(name) += "null";
        };
        kept("lblNData", l.lblNData);
        kept("lblnDataOK", l.lblnDataOK);
        kept("lblRej", l.lblRej);
        text("lbl_LRa", l.lbl_LRa);
        text("lbl_LRb", l.lbl_LRb);
        text("lbl_LRr", l.lbl_LRr);
        text("lblDiff", l.lblDiff);
        text("lblDiffProc", l.lblDiffProc);
        text("lbl_LoRa", l.lbl_LoRa);
        text("lbl_LoRb", l.lbl_LoRb);
        text("lbl_LoRr", l.lbl_LoRr);
        text("lblDiffLog", l.lblDiffLog);
        text("lblDiffProcLog", l.lblDiffProcLog);
        for (std::size_t row = 1; row <= 5; ++row)
            text("lblDiffPoly(" + std::to_string(row) + ")", l.lblDiffPoly[row]);
        for (std::size_t row = 1; row <= 5; ++row)
            text("lblDiffProcPoly(" + std::to_string(row) + ")", l.lblDiffProcPoly[row]);
        kept("Label2", l.Label2);
        labels.close();
    }
    const MethodRanking ranking = rankMethods(s, freeDegree(session.options().settings.ComboBox1));
    appendLeaveOneOut(root, ranking);
    {
        const std::vector<Message>& shown = session.messages().messages;
        std::string& messages = root.key("messages");
        messages += '[';
        for (std::size_t i = 0; i < shown.size(); ++i) {
            if (i > 0)
                messages += ',';
            appendJsonString(messages, shown[i].text);
        }
        messages += ']';
    }
    // After every earlier member, which stay as they were.
    appendUncertainties(root.key("uncertainty"), result.fits, s);
    for (std::size_t m = 0; m < kDriftMethods; ++m) {
        const auto& curve = result.fits.drift[m];
        const auto score = std::find_if(ranking.methods.begin(), ranking.methods.end(),
                                        [&](const MethodScore& method) { return method.key == kDriftMethodKeys[m]; });
        appendDriftMethod(root.key(kDriftMethodKeys[m]), curve ? &*curve : nullptr,
                          score != ranking.methods.end() ? &*score : nullptr, s);
    }
    root.close();
    json += '\n';

    return session.writeOut(json);
}

} // namespace kalibron
