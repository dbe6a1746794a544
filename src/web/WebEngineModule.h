#pragma once

#include <memory>

#include <QString>

#include "web/WebEngine.h"

// What a web engine module hands to the program that loads it: the engine
// lives in a shared module of its own, opened after the panel is on screen,
// so that the program itself never links the engine's libraries. The module
// exports one C function, named by WebEngineModule::EntryPoint, that returns
// its single instance (owned by the module, never freed), or null when the
// program speaks another version of this interface.
class WebEngineModule
{
public:
    // Raised with every change to what the program and the module share
    // (this class, WebEngine, WebView, Host).
    static constexpr int InterfaceVersion = 2;

    // What the program lends the module for the whole run.
    struct Host
    {
        // Tells the user one line (the program adds the "⚠️ " and flushes).
        void (*notice)(const QString& text);
    };

    using Entry = WebEngineModule* (*)(int interfaceVersion, const Host* host);
    // Named after the version too: a module from before the version check has
    // no such function and is refused the same way.
    static constexpr const char* EntryPoint = "quillnook_web_engine_module_v2";

    // Starts the toolkit the engine runs on, once, after QApplication. False
    // with a one-line reason for the user when it cannot run here.
    virtual bool initialize(QString* error) = 0;
    // The engine with its persistent site data; null with a reason on failure.
    virtual std::unique_ptr<WebEngine> createEngine(QString* error) = 0;

protected:
    ~WebEngineModule() = default;
};
