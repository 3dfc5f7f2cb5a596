// The script glue for the browser's Java runtime: per-class caches of the class and its member
// identifiers, the native method table of "Simple", and the exported use/unuse/register calls.
#include "plugin/jri.h"

namespace {

// How a member is looked up: its operation.
struct Member {
  jint operation;  // kJriGetFieldID, kJriGetStaticMethodID or kJriGetMethodID
  const char* name;
  const char* signature;
};

constexpr int kMostMembers = 8;

// One class's cache. --- Only the runtime's calls touch it, one at a time.
struct ClassGlue {
  const char* name;
  const Member* members;
  int memberCount;
  JRIGlobalRef globalClass;  // null: not in use
  jint ids[kMostMembers];    // -1: not in use
};

const Member kSimpleMembers[] = {
    {kJriGetFieldID, "count", "I"},
    {kJriGetStaticMethodID, "fact", "(I)I"},
    {kJriGetMethodID, "printToStdout", "(Ljava/lang/String;)V"},
    {kJriGetMethodID, "doit", "(Ljava/lang/String;)V"},
    {kJriGetMethodID, "<init>", "()V"},
};

const Member kPluginMembers[] = {
    {kJriGetFieldID, "peer", "I"},
    {kJriGetFieldID, "window", "Lnetscape/javascript/JSObject;"},
    {kJriGetMethodID, "getPeer", "()I"},
    {kJriGetMethodID, "init", "()V"},
    {kJriGetMethodID, "destroy", "()V"},
    {kJriGetMethodID, "isActive", "()Z"},
    {kJriGetMethodID, "getWindow", "()Lnetscape/javascript/JSObject;"},
    {kJriGetMethodID, "<init>", "()V"},
};

ClassGlue gSimple = {"Simple", kSimpleMembers, 5, nullptr, {-1, -1, -1, -1, -1, -1, -1, -1}};
ClassGlue gPlugin = {"netscape/plugin/Plugin", kPluginMembers, 8, nullptr,
                     {-1, -1, -1, -1, -1, -1, -1, -1}};

// Simple's natives, as the runtime takes them: names with signatures and their functions, both
// lists ended by null.
char kPrintToStdout[] = "printToStdout(Ljava/lang/String;)V";
char* gSimpleNames[] = {kPrintToStdout, nullptr};
void* gSimpleFunctions[] = {reinterpret_cast<void*>(&native_Simple_printToStdout), nullptr};

// The operation `op` of the environment's table, in its shape.
template <typename Fn>
Fn Operation(JRIEnv* env, jint op) {
  return reinterpret_cast<Fn>(env->functions[op]);
}

java_lang_Class* FindClass(JRIEnv* env, const char* name) {
  return Operation<JriFindClass>(env, kJriFindClass)(env, kJriFindClass, name);
}

java_lang_Class* Use(ClassGlue& glue, JRIEnv* env) {
  if (glue.globalClass != nullptr) {
    return static_cast<java_lang_Class*>(
        Operation<JriGetGlobalRef>(env, kJriGetGlobalRef)(env, kJriGetGlobalRef,
                                                          glue.globalClass));
  }
  java_lang_Class* clazz = FindClass(env, glue.name);
  if (clazz == nullptr) return nullptr;
  for (int i = 0; i < glue.memberCount; ++i) {
    const Member& m = glue.members[i];
    glue.ids[i] =
        Operation<JriGetMemberID>(env, m.operation)(env, m.operation, clazz, m.name, m.signature);
  }
  glue.globalClass =
      Operation<JriNewGlobalRef>(env, kJriNewGlobalRef)(env, kJriNewGlobalRef, clazz);
  return clazz;
}

void Unuse(ClassGlue& glue, JRIEnv* env) {
  if (glue.globalClass == nullptr) return;
  for (int i = 0; i < glue.memberCount; ++i) glue.ids[i] = -1;
  Operation<JriDisposeGlobalRef>(env, kJriDisposeGlobalRef)(env, kJriDisposeGlobalRef,
                                                            glue.globalClass);
  glue.globalClass = nullptr;
}

}  // namespace

extern "C" {

java_lang_Class* use_Simple(JRIEnv* env) { return Use(gSimple, env); }

void unuse_Simple(JRIEnv* env) { Unuse(gSimple, env); }

java_lang_Class* register_Simple(JRIEnv* env) {
  java_lang_Class* clazz = FindClass(env, gSimple.name);
  if (clazz == nullptr) return nullptr;
  Operation<JriRegisterNatives>(env, kJriRegisterNatives)(env, kJriRegisterNatives, clazz,
                                                          gSimpleNames, gSimpleFunctions);
  return use_Simple(env);
}

void unregister_Simple(JRIEnv* env) {
  // A class the runtime does not know has no natives to unbind; the runtime is never handed
  // a null class.
  if (java_lang_Class* clazz = FindClass(env, gSimple.name)) {
    Operation<JriUnregisterNatives>(env, kJriUnregisterNatives)(env, kJriUnregisterNatives,
                                                                clazz);
  }
  unuse_Simple(env);
}

void native_Simple_printToStdout(JRIEnv*, java_lang_Object*, java_lang_String*) {}

void** Java_Simple_printToStdout_stub(void** arguments, JRIEnv* env) {
  native_Simple_printToStdout(env, static_cast<java_lang_Object*>(arguments[0]),
                              static_cast<java_lang_String*>(arguments[1]));
  return arguments;
}

java_lang_Class* use_netscape_plugin_Plugin(JRIEnv* env) { return Use(gPlugin, env); }

void unuse_netscape_plugin_Plugin(JRIEnv* env) { Unuse(gPlugin, env); }

}  // extern "C"

namespace kvp {

JavaClassCache SimpleCache() { return {gSimple.globalClass, gSimple.ids, gSimple.memberCount}; }
JavaClassCache PluginClassCache() {
  return {gPlugin.globalClass, gPlugin.ids, gPlugin.memberCount};
}

}  // namespace kvp
