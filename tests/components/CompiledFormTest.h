#pragma once
// A fixture that loads a form compiled by defc from an RCDATA resource of the test
// program, shows it, and fails the test when any error reached the application's handler
// meanwhile.
#include "components/uRegister.h"
#include "toolkit/uForms.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

inline HWND Hwnd(const TControl* c) {
    return static_cast<HWND>(c->Handle());
}

class CompiledFormTest : public ::testing::Test {
protected:
    explicit CompiledFormTest(std::string resource) : FResource(std::move(resource)) {}
    void SetUp() override {
        RegisterToolkitClasses();
        RegisterSystemComponents();
        Application.OnException = [this](std::exception_ptr e) { Errors.push_back(ExceptionText(e)); };
        Form = std::make_unique<TForm>(nullptr);
        Form->LoadDefinitionResource(FResource);
    }
    // Shows the form and lets it paint.
    void ShowForm() {
        Form->Show();
        Application.ProcessMessages();
    }
    void TearDown() override {
        Form.reset();
        Application.ProcessMessages();
        Application.OnException = nullptr;
        EXPECT_TRUE(Errors.empty()) << Errors.front();
    }
    std::unique_ptr<TForm> Form;
    std::vector<std::string> Errors;

private:
    std::string FResource;
};
