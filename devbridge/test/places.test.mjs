import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { describe, test } from 'node:test';
import { whereToLook } from '../lib/places.mjs';
import { markdown } from '../lib/prompt.mjs';
import { gitRepo, tempDir } from './helpers.mjs';

const FILES = {
  'App/SettingsView.swift': 'VStack {\n  Button(LocalizedStringKey("settings.save")) {}\n    .accessibilityIdentifier("saveButton")\n}\n',
  'App/Other.swift': 'let saveButtonTitle = 1\nText("Save")\n',
  'AppTests/SettingsTests.swift': 'app.buttons["saveButton"].tap()\n',
  'App/en.lproj/Localizable.strings': '"settings.save" = "Save";\n"Cancel" = "Cancel";\n',
  'App/Titles.swift': 'Text("settings.title")\n',
  'App/Localizable.xcstrings': JSON.stringify({ strings: { 'settings.title': { localizations: { en: { stringUnit: { state: 'translated', value: 'Preferences' } } } } } }),
  'App/Untracked.swift': '',
  // Vendored code is no place to look.
  'Pods/Lib/Vendored.swift': 'x.accessibilityIdentifier("saveButton")\n',
};
const element = (identifier, accessibilityLabel) => ({ name: identifier ?? accessibilityLabel, type: 'AXButton', identifier, accessibilityLabel });

describe('where to look', () => {
  const cases = [
    // identifier in source, then in a test, then the bare name; the label's key and literal after
    ['identifier above label, source above test', element('saveButton', 'Save'), ['App/SettingsView.swift:3', 'AppTests/SettingsTests.swift:1', 'App/Other.swift:1']],
    ['a label found through its localisation key', element(undefined, 'Save'), ['App/SettingsView.swift:2', 'App/Other.swift:2']],
    ['a key from a string catalogue', element(undefined, 'Preferences'), ['App/Titles.swift:1']],
    ['nothing matches', element('nowhere', 'Nowhere'), []],
  ];

  for (const kind of ['git', 'plain folder']) {
    test(`ranks at most three places (${kind})`, async (t) => {
      const dir = kind === 'git' ? gitRepo(t, { files: FILES }).dir : tempDir(t);
      if (kind !== 'git') {
        for (const [name, content] of Object.entries(FILES)) {
          fs.mkdirSync(path.dirname(path.join(dir, name)), { recursive: true });
          fs.writeFileSync(path.join(dir, name), content);
        }
      }
      const found = await whereToLook(dir, [...cases.map((c) => c[1]), null]);
      cases.forEach(([name, , expected], i) => assert.deepEqual(found[i].map((p) => `${p.path}:${p.line}`), expected, name));
      assert.deepEqual(found.at(-1), []);
      assert.equal(found[0][0].text, '.accessibilityIdentifier("saveButton")');
    });
  }
});

describe('the prompt', () => {
  const pin = (index, element, touch) => ({ index, touch, element });
  const button = { name: 'saveButton', type: 'Button', resolution: 'accessibility', identifier: 'saveButton', accessibilityLabel: 'Save', frame: { x: 15, y: 15.25, width: 150, height: 66 } };
  const base = { comment: '  Bigger\n', platform: 'ios', screen: 'Settings', device: 'iPhone 15', viewport: '393x852', simulator: 'X', touch: { x: 168.5, y: 270.1 } };

  test('is the panel’s Markdown, for the Simulator and for a desktop window', () => {
    const rows = [
      [
        'simulator, two pins',
        { ...base, category: 'Layout', element: button, elements: [pin(1, button, { x: 168.5, y: 270.1 }), pin(2, undefined, { x: 1 / 3, y: 20 })] },
        '## Request\n\nBigger\n\n## Where\n\n- App: iOS, in the Simulator\n- Device: iPhone 15, 393 × 852 points\n- Screen: Settings\n- Category: Layout\n\n' +
          '## Elements\n\nNumbered as on the attached screenshot; positions in device points from the screen’s top-left corner.\n\n' +
          '1. **saveButton** (Button)\n   - Identifier: `saveButton`\n   - Label: Save\n   - Frame: x 15, y 15.25, width 150, height 66\n   - Touch point: x 168.5, y 270.1\n' +
          '2. No element under the touch point\n   - Touch point: x 0.333333333333, y 20\n',
      ],
      [
        'simulator, an older body without pins and an empty request',
        { ...base, comment: ' ', element: { ...button, description: 'ignored here', states: ['focused'] } },
        '## Where\n\n- App: iOS, in the Simulator\n- Device: iPhone 15, 393 × 852 points\n- Screen: Settings\n\n' +
          '## Elements\n\nNumbered as on the attached screenshot; positions in device points from the screen’s top-left corner.\n\n' +
          '1. **saveButton** (Button)\n   - Identifier: `saveButton`\n   - Label: Save\n   - Frame: x 15, y 15.25, width 150, height 66\n   - Touch point: x 168.5, y 270.1\n',
      ],
      [
        'window',
        {
          ...base,
          target: 'window',
          device: 'Firefox',
          screen: 'Checkout',
          viewport: '1280x720',
          application: { name: 'Firefox', title: 'Checkout', scale: 1.5, windowClass: 'firefox' },
          element: { ...button, description: 'Saves', states: ['focusable', 'sensitive'], dom: { tag: 'button', class: 'primary' } },
        },
        '## Request\n\nBigger\n\n## Where\n\n- App: Firefox, a desktop window\n- Window: Checkout, 1280 × 720 logical pixels at scale 1.5\n\n' +
          '## Elements\n\nNumbered as on the attached screenshot; positions in logical pixels from the window’s top-left corner.\n\n' +
          '1. **saveButton** (Button)\n   - Identifier: `saveButton`\n   - Label: Save\n   - Description: Saves\n   - States: focusable, sensitive\n' +
          '   - Web: `<button class="primary">`\n   - Frame: x 15, y 15.25, width 150, height 66\n   - Touch point: x 168.5, y 270.1\n',
      ],
    ];
    for (const [name, report, expected] of rows) assert.equal(markdown(report), expected, name);
  });
});
