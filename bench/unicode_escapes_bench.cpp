// DecodeUnicodeEscapes on a 200 KB reply with 10,000 escapes: the whole
// call against its floor, the script engine's own evaluation of the same
// literal (the object made, its language set, the statement run and the
// function called, straight through COM: what the routine must do), and
// against a plain decode; where its time goes (the text preparation, making the script
// object, compiling and running the script), with the percent-escape
// fallback measured on its own (it runs only when the script path gives
// nothing). Then repeated calls in one process, sampling the runtime heap's
// live blocks and the process's private bytes, which must stay flat.
//
//   unicode_escapes_bench [timed runs] [repeated calls]
#include "app/call.h"
#include "app/text/unicode_escapes.h"
#include "app/value_helpers.h"
#include "app/web/dll_declarations.h"
#include "bench/bench_line.h"
#include "runtime/com/object_commands.h"
#include "runtime/com/owned_object.h"
#include "runtime/commands/system_commands.h"
#include "runtime/commands/text_commands.h"
#include "runtime/core/dll_commands.h"
#include "runtime/core/heap.h"
#include "runtime/core/services.h"

#include <ole2.h>
#include <psapi.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The process's private bytes as the system reports them; where it reports
// none (Wine), the committed private pages summed over the address space.
size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    if (counters.PrivateUsage != 0)
        return counters.PrivateUsage;
    size_t committed = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            committed += region.RegionSize;
        if (region.RegionSize == 0)
            break;
    }
    return committed;
}

// A JSON-like reply of `size` bytes holding exactly `escapes` backslash-u
// escapes, escaped slashes and CR LF line breaks, like the play-data replies.
std::string MakeReply(size_t size, int escapes) {
    static const char* const kCodes[] = {"6b4c", "66f2", "4e2d", "6587", "5c01", "9762", "4e13", "8f91"};
    std::string reply = "{\"status\":1,\"data\":[";
    int made = 0;
    while (made < escapes) {
        reply += "{\"song_name\":\"";
        for (int k = 0; k < 8 && made < escapes; ++k, ++made) {
            reply += "\\u";
            reply += kCodes[(made + k) % 8];
        }
        reply += "\",\"img\":\"http:\\/\\/imge.example.com\\/stdmusic\\/20170501\\/cover.jpg\"},\r\n";
    }
    reply += "{\"filler\":\"";
    while (reply.size() + 4 < size)
        reply += 'x';
    reply += "\"}]}";
    return reply;
}

struct Phases {
    double prepare = 0, create = 0, run = 0, fallback = 0;
};

// What the runtime registers for ProcessEvents: let every waiting message
// through (the bench has no windows, but each look costs what it costs).
void LetMessagesThrough() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// The steps of DecodeUnicodeEscapes taken one at a time, through the same
// commands, to see where the time goes.
Phases MeasurePhases(const char* reply, bool withFallback) {
    Phases p;
    double t0 = Now();
    OwnedText s = Call::Text(ReplaceText, reply, "\r\n", "{$}", kOmitted, kOmitted, true);
    s = Call::Text(ReplaceText, s, "\\u", "%u", kOmitted, kOmitted, true);
    s = Call::Text(ReplaceText, s, "'", "\xA1\xAF", kOmitted, kOmitted, true);
    double t1 = Now();
    DllCall<HRESULT>(web::kCoInitialize, static_cast<void*>(nullptr));
    OwnedObject script;
    Call::Bool(CreateObject, script.Variable(), "ScriptControl");
    Call::Bool(WriteProperty, script.Arg(), "Language", "JScript");
    double t2 = Now();
    OwnedText statement = ConcatTexts({"function xx(){var x='", s.Get(), "';return unescape(x);}"});
    Call::Double(CallMethodNumber, script.Arg(), "ExecuteStatement", statement);
    OwnedText r = Call::Text(CallMethodText, script.Arg(), "Eval", "xx()");
    double t3 = Now();
    Call::Void(ClearObject, script.Arg());
    DllCall<void>(web::kCoUninitialize);
    r = Call::Text(ReplaceText, r, "\xA1\xAF", "'", kOmitted, kOmitted, true);
    r = Call::Text(ReplaceText, r, "{$}", "\r\n", kOmitted, kOmitted, true);
    double t4 = Now();
    // The fallback lets messages through once per byte: seconds for this
    // reply, so it is timed once.
    OwnedText f = withFallback ? UnescapeScriptLiteral(s.Get()) : OwnedText();
    double t5 = Now();
    if (r.Empty())
        std::printf("warning: the script path gave nothing\n");
    p.prepare = (t1 - t0) + (t4 - t3);
    p.create = t2 - t1;
    p.run = t3 - t2;
    p.fallback = t5 - t4;
    return p;
}

// The script engine's part of the work, straight through COM with nothing
// else around it: the literal the routine hands the engine (its escapes
// already in the percent form), as a BSTR, wrapped in the same one-line
// function, compiled and called once in a new script object, and the result
// converted back to GBK.
class EngineFloor {
public:
    std::string Evaluate(const std::string& literal)
    {
        std::string gbk;
        CoInitialize(nullptr);
        CLSID clsid;
        IDispatch* script = nullptr;
        if (SUCCEEDED(CLSIDFromProgID(L"ScriptControl", &clsid)) &&
            SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                       reinterpret_cast<void**>(&script)))) {
            BSTR language = SysAllocString(L"JScript");
            Invoke(script, L"Language", DISPATCH_PROPERTYPUT, language, nullptr);
            SysFreeString(language);

            const std::string statement = "function xx(){var x='" + literal + "';return unescape(x);}";
            BSTR code = Wide(statement);
            Invoke(script, L"ExecuteStatement", DISPATCH_METHOD, code, nullptr);
            SysFreeString(code);
            BSTR call = SysAllocString(L"xx()");
            VARIANT result;
            VariantInit(&result);
            Invoke(script, L"Eval", DISPATCH_METHOD, call, &result);
            SysFreeString(call);
            if (result.vt == VT_BSTR) {
                const int units = static_cast<int>(SysStringLen(result.bstrVal));
                const int size = WideCharToMultiByte(936, 0, result.bstrVal, units, nullptr, 0, nullptr, nullptr);
                gbk.resize(static_cast<size_t>(size));
                WideCharToMultiByte(936, 0, result.bstrVal, units, gbk.data(), size, nullptr, nullptr);
            }
            VariantClear(&result);
            script->Release();
        }
        CoUninitialize();
        return gbk;
    }

private:
    static BSTR Wide(const std::string& gbk)
    {
        const int n = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
        BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(n));
        MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), out, n);
        return out;
    }

    static void Invoke(IDispatch* object, const wchar_t* name, WORD kind, BSTR argument, VARIANT* result)
    {
        DISPID id = 0;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return;
        VARIANT arg;
        VariantInit(&arg);
        arg.vt = VT_BSTR;
        arg.bstrVal = argument;
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{&arg, kind == DISPATCH_PROPERTYPUT ? &named : nullptr, 1,
                          kind == DISPATCH_PROPERTYPUT ? 1u : 0u};
        object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, nullptr, nullptr);
    }
};

// The literal DecodeUnicodeEscapes hands the engine for `reply`: line breaks
// as "{$}", backslash-u as percent-u, apostrophes as the full-width quote.
std::string PreparedLiteral(const char* reply)
{
    OwnedText s = Call::Text(ReplaceText, reply, "\r\n", "{$}", kOmitted, kOmitted, true);
    s = Call::Text(ReplaceText, s, "\\u", "%u", kOmitted, kOmitted, true);
    s = Call::Text(ReplaceText, s, "'", "\xA1\xAF", kOmitted, kOmitted, true);
    return std::string(s.View());
}

// The floor: a plain loop that turns the reply's backslash-u escapes and
// escaped slashes into UTF-16 and the whole into GBK, the least work any
// decoding of the reply must do.
std::string PlainDecode(const std::string& reply) {
    std::wstring wide;
    wide.reserve(reply.size());
    for (size_t i = 0; i < reply.size(); ++i) {
        if (reply[i] == '\\' && i + 5 < reply.size() && reply[i + 1] == 'u') {
            wide += static_cast<wchar_t>(std::strtoul(reply.substr(i + 2, 4).c_str(), nullptr, 16));
            i += 5;
        } else if (reply[i] == '\\' && i + 1 < reply.size() && reply[i + 1] == '/') {
            wide += L'/';
            ++i;
        } else {
            wide += static_cast<wchar_t>(static_cast<unsigned char>(reply[i]));
        }
    }
    int size = WideCharToMultiByte(936, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string gbk(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(936, 0, wide.data(), static_cast<int>(wide.size()), gbk.data(), size, nullptr, nullptr);
    return gbk;
}

} // namespace

int main(int argc, char** argv) {
    int timedRuns = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    int repeatedCalls = argc > 2 ? std::atoi(argv[2]) : 400;
    OleInitialize(nullptr);
    SetProcessEventsHandler(LetMessagesThrough);
    InstallDllCommands(web::kDllCommandCount, web::kDllLibraryNames, web::kDllExportNames);

    std::string reply = MakeReply(200 * 1024, 10000);
    std::printf("reply: %zu bytes, 10000 escapes\n", reply.size());

    OwnedText warm = DecodeUnicodeEscapes(reply.c_str()); // loads the script engine once
    std::printf("decoded: %u bytes\n", warm.Length());

    // Each round times the routine and right after it the engine alone, so
    // that a busy stretch of the machine hits both; each keeps its best round.
    const std::string literal = PreparedLiteral(reply.c_str());
    EngineFloor engine;
    // The engine's result still holds the placeholders the routine turns
    // back, so only its being there is checked.
    if (engine.Evaluate(literal).empty())
        std::printf("warning: the script engine alone gave nothing\n");
    double best = 1e30, engineBest = 1e30, stepsBest = 1e30;
    Phases sum;
    for (int i = 0; i < timedRuns; ++i) {
        double t0 = Now();
        OwnedText decoded = DecodeUnicodeEscapes(reply.c_str());
        best = std::min(best, Now() - t0);
        t0 = Now();
        const std::string alone = engine.Evaluate(literal);
        engineBest = std::min(engineBest, Now() - t0);
        Phases p = MeasurePhases(reply.c_str(), i == 0);
        stepsBest = std::min(stepsBest, p.prepare + p.create + p.run);
        sum.prepare += p.prepare;
        sum.create += p.create;
        sum.run += p.run;
        sum.fallback += p.fallback;
    }
    double whole = best;
    double floorStart = Now();
    size_t floorBytes = 0;
    for (int i = 0; i < timedRuns; ++i)
        floorBytes += PlainDecode(reply).size();
    double plain = (Now() - floorStart) / timedRuns;
    // The fallback was timed in the first round only.
    sum.fallback *= timedRuns;
    double pumpStart = Now();
    for (size_t i = 0; i < reply.size(); ++i)
        Call::Void(ProcessEvents);
    double pump = Now() - pumpStart;
    double parts = (sum.prepare + sum.create + sum.run) / timedRuns;
    std::printf("DecodeUnicodeEscapes: %.1f ms per call (best of %d)\n", whole * 1e3, timedRuns);
    std::printf("  floor, the script engine alone evaluating the same literal: %.2f ms per call (best of %d), "
                "ratio %.2f\n",
                engineBest * 1e3, timedRuns, whole / engineBest);
    std::printf("  the same steps one command at a time: %.2f ms (best of %d)\n", stepsBest * 1e3, timedRuns);
    std::printf("  floor, a plain decode of the same escapes to GBK: %.2f ms per call (%zu bytes)\n", plain * 1e3,
                floorBytes / static_cast<size_t>(timedRuns > 0 ? timedRuns : 1));
    std::printf("  phases (%.1f ms together):\n", parts * 1e3);
    std::printf("    prepare (replacements)     %7.2f ms  %5.1f%%\n", sum.prepare / timedRuns * 1e3,
                100 * sum.prepare / timedRuns / parts);
    std::printf("    create the script object   %7.2f ms  %5.1f%%\n", sum.create / timedRuns * 1e3,
                100 * sum.create / timedRuns / parts);
    std::printf("    compile and run the script %7.2f ms  %5.1f%%\n", sum.run / timedRuns * 1e3,
                100 * sum.run / timedRuns / parts);
    std::printf("  the percent-escape fallback alone (when the script path fails): %.2f ms,\n",
                sum.fallback / timedRuns * 1e3);
    std::printf("    of which letting messages through once per byte: %.2f ms\n", pump * 1e3);

    // Repeated calls on the same reply: nothing may accumulate from call to
    // call.
    const std::string& small = reply;
    for (int i = 0; i < 20; ++i)
        DecodeUnicodeEscapes(small.c_str());
    int64_t blocks0 = RuntimeLiveBlocks();
    size_t private0 = PrivateBytes();
    std::printf("repeated calls on a %zu-byte reply: live blocks %lld, private bytes %zu KB at the start\n",
                small.size(), static_cast<long long>(blocks0), private0 / 1024);
    double t0 = Now();
    for (int i = 1; i <= repeatedCalls; ++i) {
        DecodeUnicodeEscapes(small.c_str());
        if (i % (repeatedCalls / 4 > 0 ? repeatedCalls / 4 : 1) == 0) {
            std::printf("  after %4d calls: live blocks %+lld, private bytes %+lld KB\n", i,
                        static_cast<long long>(RuntimeLiveBlocks() - blocks0),
                        (static_cast<long long>(PrivateBytes()) - static_cast<long long>(private0)) / 1024);
        }
    }
    std::printf("  %.2f ms per call\n", (Now() - t0) / repeatedCalls * 1e3);
    PrintBenchLine("decode_unicode_escapes", whole * 1e3, engineBest * 1e3, "ms");
    PrintBenchLine("decode_unicode_escapes_vs_plain", whole * 1e3, plain * 1e3, "ms");
    OleUninitialize();
    return 0;
}
