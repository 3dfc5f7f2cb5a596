// The script glue with a recording Java environment: the operation numbers called, in order,
// for use/unuse/register/unregister of both classes, the caches, the stub, the exports of
// Qorvane.DLL, and the Java-class query that never asks for the environment.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/jri.h"
#include "tests/win32/recording_browser.h"

namespace kvp {
namespace {

// ---- A Java environment that records every operation ----------------------------------------

struct JavaRecord {
  std::vector<std::string> calls;  // "<op> <what>"
  bool classMissing = false;
  jint nextId = 100;
};
JavaRecord* gJava = nullptr;

char gClassObject;   // the class the runtime hands out
char gGlobalObject;  // its global reference

java_lang_Class* RecordFindClass(JRIEnv*, jint op, const char* name) {
  gJava->calls.push_back(std::to_string(op) + " FindClass " + name);
  return gJava->classMissing ? nullptr : reinterpret_cast<java_lang_Class*>(&gClassObject);
}
JRIGlobalRef RecordNewGlobalRef(JRIEnv*, jint op, void* ref) {
  gJava->calls.push_back(std::to_string(op) + " NewGlobalRef" +
                         (ref == &gClassObject ? "" : " (not the class)"));
  return &gGlobalObject;
}
void RecordDisposeGlobalRef(JRIEnv*, jint op, JRIGlobalRef ref) {
  gJava->calls.push_back(std::to_string(op) + " DisposeGlobalRef" +
                         (ref == &gGlobalObject ? "" : " (not ours)"));
}
void* RecordGetGlobalRef(JRIEnv*, jint op, JRIGlobalRef ref) {
  gJava->calls.push_back(std::to_string(op) + " GetGlobalRef" +
                         (ref == &gGlobalObject ? "" : " (not ours)"));
  return &gClassObject;
}
jint RecordMember(const char* kind, jint op, java_lang_Class* clazz, const char* name,
                  const char* signature) {
  gJava->calls.push_back(std::to_string(op) + " " + kind + " " + name + " " + signature +
                         (clazz == reinterpret_cast<java_lang_Class*>(&gClassObject)
                              ? ""
                              : " (not the class)"));
  return gJava->nextId++;
}
jint RecordGetMethodID(JRIEnv*, jint op, java_lang_Class* c, const char* n, const char* s) {
  return RecordMember("GetMethodID", op, c, n, s);
}
jint RecordGetFieldID(JRIEnv*, jint op, java_lang_Class* c, const char* n, const char* s) {
  return RecordMember("GetFieldID", op, c, n, s);
}
jint RecordGetStaticMethodID(JRIEnv*, jint op, java_lang_Class* c, const char* n,
                             const char* s) {
  return RecordMember("GetStaticMethodID", op, c, n, s);
}
void RecordRegisterNatives(JRIEnv*, jint op, java_lang_Class*, char** names, void** functions) {
  std::string entry = std::to_string(op) + " RegisterNatives";
  for (; *names != nullptr; ++names, ++functions) {
    entry += std::string(" ") + *names +
             (*functions == reinterpret_cast<void*>(&native_Simple_printToStdout) ? "=native"
                                                                                  : "=other");
  }
  if (*functions != nullptr) entry += " (function list not ended)";
  gJava->calls.push_back(entry);
}
void RecordUnregisterNatives(JRIEnv*, jint op, java_lang_Class* clazz) {
  gJava->calls.push_back(std::to_string(op) + " UnregisterNatives" +
                         (clazz == nullptr ? " (null class)" : ""));
}

class JavaGlue : public ::testing::Test {
 protected:
  JavaGlue() {
    gJava = &record;
    slots[kJriFindClass] = reinterpret_cast<void*>(&RecordFindClass);
    slots[kJriNewGlobalRef] = reinterpret_cast<void*>(&RecordNewGlobalRef);
    slots[kJriDisposeGlobalRef] = reinterpret_cast<void*>(&RecordDisposeGlobalRef);
    slots[kJriGetGlobalRef] = reinterpret_cast<void*>(&RecordGetGlobalRef);
    slots[kJriGetMethodID] = reinterpret_cast<void*>(&RecordGetMethodID);
    slots[kJriGetFieldID] = reinterpret_cast<void*>(&RecordGetFieldID);
    slots[kJriGetStaticMethodID] = reinterpret_cast<void*>(&RecordGetStaticMethodID);
    slots[kJriRegisterNatives] = reinterpret_cast<void*>(&RecordRegisterNatives);
    slots[kJriUnregisterNatives] = reinterpret_cast<void*>(&RecordUnregisterNatives);
    env.functions = slots;
  }
  ~JavaGlue() override {
    // Leave the process-wide caches as they were found: not in use.
    unuse_Simple(&env);
    unuse_netscape_plugin_Plugin(&env);
    gJava = nullptr;
  }
  std::vector<std::string> Take() {
    std::vector<std::string> calls;
    calls.swap(record.calls);
    return calls;
  }

  JavaRecord record;
  void* slots[130] = {};  // a slot the glue must not use stays null and would crash
  JRIEnv env = {};
};

const std::vector<std::string> kUseSimple = {
    "4 FindClass Simple",
    "48 GetFieldID count I",
    "68 GetStaticMethodID fact (I)I",
    "20 GetMethodID printToStdout (Ljava/lang/String;)V",
    "20 GetMethodID doit (Ljava/lang/String;)V",
    "20 GetMethodID <init> ()V",
    "10 NewGlobalRef",
};

TEST_F(JavaGlue, UseSimpleLooksUpOnceAndUnuseForgetsOnlyWhatIsCached) {
  unuse_Simple(&env);  // nothing cached: nothing asked
  EXPECT_TRUE(Take().empty());

  EXPECT_EQ(use_Simple(&env), reinterpret_cast<java_lang_Class*>(&gClassObject));
  EXPECT_EQ(Take(), kUseSimple);
  JavaClassCache cache = SimpleCache();
  EXPECT_EQ(cache.globalClass, &gGlobalObject);
  ASSERT_EQ(cache.idCount, 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(cache.ids[i], 100 + i);

  EXPECT_EQ(use_Simple(&env), reinterpret_cast<java_lang_Class*>(&gClassObject));
  EXPECT_EQ(Take(), std::vector<std::string>{"12 GetGlobalRef"});

  unuse_Simple(&env);
  EXPECT_EQ(Take(), std::vector<std::string>{"11 DisposeGlobalRef"});
  cache = SimpleCache();
  EXPECT_EQ(cache.globalClass, nullptr);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(cache.ids[i], -1);
  unuse_Simple(&env);
  EXPECT_TRUE(Take().empty());

  record.classMissing = true;
  EXPECT_EQ(use_Simple(&env), nullptr);
  EXPECT_EQ(Take(), std::vector<std::string>{"4 FindClass Simple"});
  EXPECT_EQ(SimpleCache().globalClass, nullptr);
}

TEST_F(JavaGlue, RegisterBindsTheNativeTableThenUsesAndUnregisterUndoesIt) {
  EXPECT_EQ(register_Simple(&env), reinterpret_cast<java_lang_Class*>(&gClassObject));
  std::vector<std::string> expected = {
      "4 FindClass Simple", "128 RegisterNatives printToStdout(Ljava/lang/String;)V=native"};
  expected.insert(expected.end(), kUseSimple.begin(), kUseSimple.end());
  EXPECT_EQ(Take(), expected);

  unregister_Simple(&env);
  EXPECT_EQ(Take(), (std::vector<std::string>{"4 FindClass Simple", "129 UnregisterNatives",
                                              "11 DisposeGlobalRef"}));

  // A runtime without the class: nothing registered, and never a null class handed to it.
  record.classMissing = true;
  EXPECT_EQ(register_Simple(&env), nullptr);
  unregister_Simple(&env);
  EXPECT_EQ(Take(), (std::vector<std::string>{"4 FindClass Simple", "4 FindClass Simple"}));
}

TEST_F(JavaGlue, PluginClassCachesItsEightMembers) {
  EXPECT_EQ(use_netscape_plugin_Plugin(&env), reinterpret_cast<java_lang_Class*>(&gClassObject));
  EXPECT_EQ(Take(), (std::vector<std::string>{
                        "4 FindClass netscape/plugin/Plugin",
                        "48 GetFieldID peer I",
                        "48 GetFieldID window Lnetscape/javascript/JSObject;",
                        "20 GetMethodID getPeer ()I",
                        "20 GetMethodID init ()V",
                        "20 GetMethodID destroy ()V",
                        "20 GetMethodID isActive ()Z",
                        "20 GetMethodID getWindow ()Lnetscape/javascript/JSObject;",
                        "20 GetMethodID <init> ()V",
                        "10 NewGlobalRef",
                    }));
  EXPECT_EQ(SimpleCache().globalClass, nullptr);  // the classes keep separate caches
  use_netscape_plugin_Plugin(&env);
  EXPECT_EQ(Take(), std::vector<std::string>{"12 GetGlobalRef"});
  unuse_netscape_plugin_Plugin(&env);
  EXPECT_EQ(Take(), std::vector<std::string>{"11 DisposeGlobalRef"});
  const JavaClassCache cache = PluginClassCache();
  ASSERT_EQ(cache.idCount, 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(cache.ids[i], -1);
}

TEST_F(JavaGlue, StubReturnsItsArgumentBlockAndAsksTheRuntimeNothing) {
  int self = 0, text = 0;
  void* arguments[3] = {&self, &text, &record};
  EXPECT_EQ(Java_Simple_printToStdout_stub(arguments, &env), arguments);
  EXPECT_EQ(arguments[0], &self);
  EXPECT_EQ(arguments[1], &text);
  EXPECT_TRUE(Take().empty());
}

// ---- The library's exports and the class query ------------------------------------------------

int gJavaEnvAsked = 0;
JRIEnv* CountJavaEnv() {
  ++gJavaEnvAsked;
  return nullptr;
}

TEST(JavaClassQuery, InitialisationNeverAsksForTheJavaEnvironment) {
  test::RecordingBrowser browser;
  browser.table.getJavaEnv = CountJavaEnv;
  gJavaEnvAsked = 0;
  EXPECT_EQ(NP_Initialize(&browser.table), NPERR_NO_ERROR);
  EXPECT_EQ(browser.funcs.javaClass, nullptr);
  EXPECT_EQ(NPP_GetJavaClass(), nullptr);
  EXPECT_EQ(gJavaEnvAsked, 0);
}

TEST_F(JavaGlue, QorvaneExportsTheGlueUnderItsPlainNames) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dll(path);
  dll = dll.substr(0, dll.find_last_of("\\/") + 1) + "Qorvane.DLL";
  HMODULE module = LoadLibraryA(dll.c_str());
  ASSERT_NE(module, nullptr) << dll;
  for (const char* name :
       {"use_Simple", "unuse_Simple", "register_Simple", "unregister_Simple",
        "native_Simple_printToStdout", "Java_Simple_printToStdout_stub",
        "use_netscape_plugin_Plugin", "unuse_netscape_plugin_Plugin"}) {
    EXPECT_NE(GetProcAddress(module, name), nullptr) << name;
  }
  // The library's own cache answers through its export as ours does.
  using UseFn = java_lang_Class* (*)(JRIEnv*);
  using UnuseFn = void (*)(JRIEnv*);
  auto use = reinterpret_cast<UseFn>(reinterpret_cast<void*>(GetProcAddress(module, "use_Simple")));
  auto unuse =
      reinterpret_cast<UnuseFn>(reinterpret_cast<void*>(GetProcAddress(module, "unuse_Simple")));
  ASSERT_NE(use, nullptr);
  ASSERT_NE(unuse, nullptr);
  EXPECT_EQ(use(&env), reinterpret_cast<java_lang_Class*>(&gClassObject));
  EXPECT_EQ(Take(), kUseSimple);
  unuse(&env);
  EXPECT_EQ(Take(), std::vector<std::string>{"11 DisposeGlobalRef"});
  FreeLibrary(module);
}

}  // namespace
}  // namespace kvp
