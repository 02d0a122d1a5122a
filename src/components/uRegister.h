#pragma once
// Registers the component classes of src/components for reading window definitions.
void RegisterSystemComponents();
