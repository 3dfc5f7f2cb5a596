// The browser's Java Runtime Interface as the script glue uses it: the environment, its table
// of operations by number, and the glue's exports for the classes "Simple" and
// "netscape/plugin/Plugin".
#pragma once

#include <cstdint>

#include "plugin/npapi.h"

// Java object references as the runtime hands them out; only passed back to it.
struct java_lang_Class;
struct java_lang_Object;
struct java_lang_String;
using jint = int32_t;

// The environment's first word points at its table of operations. Every operation is called
// with the environment and its own operation number first (plain C calls on Win32).
struct JRIEnv {
  void* const* functions;
};

// Operation numbers: an operation's index in the table.
constexpr jint kJriFindClass = 4;
constexpr jint kJriNewGlobalRef = 10;
constexpr jint kJriDisposeGlobalRef = 11;
constexpr jint kJriGetGlobalRef = 12;
constexpr jint kJriGetMethodID = 20;
constexpr jint kJriGetFieldID = 48;
constexpr jint kJriGetStaticMethodID = 68;
constexpr jint kJriRegisterNatives = 128;
constexpr jint kJriUnregisterNatives = 129;

// The operations' shapes.
extern "C" {
using JriFindClass = java_lang_Class* (*)(JRIEnv* env, jint op, const char* name);
using JriNewGlobalRef = JRIGlobalRef (*)(JRIEnv* env, jint op, void* ref);
using JriDisposeGlobalRef = void (*)(JRIEnv* env, jint op, JRIGlobalRef ref);
using JriGetGlobalRef = void* (*)(JRIEnv* env, jint op, JRIGlobalRef ref);
using JriGetMemberID = jint (*)(JRIEnv* env, jint op, java_lang_Class* clazz, const char* name,
                                const char* signature);
using JriRegisterNatives = void (*)(JRIEnv* env, jint op, java_lang_Class* clazz,
                                    char** nameAndSignatures, void** functions);
using JriUnregisterNatives = void (*)(JRIEnv* env, jint op, java_lang_Class* clazz);
}

// ---- The exported glue (plugin/java_glue.cpp) ---------------------------------------------------
//
// The runtime binds these by name; nothing in the plug-in calls them. Each class's cache is
// process-wide: a global reference to the class (null while unused) and one identifier per
// member (-1 while unused). They run on whatever thread the runtime calls them from, one at a
// time, as the runtime's own glue always did.
extern "C" {
// The class "Simple", looked up and cached with its five members on first use.
java_lang_Class* use_Simple(JRIEnv* env);
void unuse_Simple(JRIEnv* env);
// Binds the native method table to "Simple" and uses the class; null when it is not found.
java_lang_Class* register_Simple(JRIEnv* env);
void unregister_Simple(JRIEnv* env);
// Simple.printToStdout(String): does nothing.
void native_Simple_printToStdout(JRIEnv* env, java_lang_Object* self, java_lang_String* text);
// The runtime's call of it: the object and the text are the first two slots of `arguments`,
// which come back as the result.
void** Java_Simple_printToStdout_stub(void** arguments, JRIEnv* env);
// The browser's own class "netscape/plugin/Plugin" with its eight members.
java_lang_Class* use_netscape_plugin_Plugin(JRIEnv* env);
void unuse_netscape_plugin_Plugin(JRIEnv* env);
}

namespace kvp {

// The cached identifiers, for tests: -1 while the class is not in use.
struct JavaClassCache {
  JRIGlobalRef globalClass;
  const jint* ids;
  int idCount;
};
JavaClassCache SimpleCache();
JavaClassCache PluginClassCache();

}  // namespace kvp
