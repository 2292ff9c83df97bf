// Fresh random person values between the two bound dials' positions, for the whole population
// or the selected person, restricted to the group chosen in the group menu.
#pragma once

class EffectEditor;

class Randomiser {
  public:
    explicit Randomiser(EffectEditor* editor) : editor(editor) {}

    void randomise();
    // lower + r * (upper - lower), r one draw of the run-time sequence on the grid of 1/32768,
    // with the bounds read from the dials now.
    float randomValue();

    // Slots set by group g (0..9), in order; `count` receives how many.
    static const int* groupSlots(int g, int& count);

  private:
    EffectEditor* editor;
};
