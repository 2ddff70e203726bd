<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>AElemsConds</name>
    <message>
        <source>Analyze Elems Conditions</source>
        <translation>元素解析条件</translation>
    </message>
    <message>
        <source>BG Values : </source>
        <translation>BG値 : </translation>
    </message>
    <message>
        <source>dmut</source>
        <translation>dmut</translation>
    </message>
    <message>
        <source>dmut-Ratio</source>
        <translation>dmut比</translation>
    </message>
    <message>
        <source>dE</source>
        <translation>dE</translation>
    </message>
    <message>
        <source>ROI</source>
        <translation>ROI</translation>
    </message>
    <message>
        <source>NROI</source>
        <translation>NROI</translation>
    </message>
</context>
<context>
    <name>Analysis2DDriver</name>
    <message>
        <source>2-D run stopped: the image stack is being replaced</source>
        <translation>2-D 解析を止めました: 画像スタックを入れ替えています</translation>
    </message>
    <message>
        <source>no I1 image is loaded</source>
        <translation>I1 画像が読み込まれていません</translation>
    </message>
    <message>
        <source>&quot;Process Maps&quot; is chosen, not &quot;2D Analysis&quot;</source>
        <translation>「2D解析」ではなく「マップ処理」が選ばれています</translation>
    </message>
    <message>
        <source>no analysis is checked</source>
        <translation>解析が一つもチェックされていません</translation>
    </message>
    <message>
        <source>no analysis area</source>
        <translation>解析領域がありません</translation>
    </message>
    <message>
        <source>the edge comparison&apos;s step (&quot;SW&quot; %1 eV, &quot;dE&quot; %2 eV) gives no reference</source>
        <translation>エッジ比較のステップ（「SW」%1 eV、「dE」%2 eV）から参照を作れません</translation>
    </message>
    <message>
        <source>the edge comparison has no reference; choose its file or &quot;Step at&quot;</source>
        <translation>エッジ比較に参照がありません。ファイルか「ステップ位置」を選んでください</translation>
    </message>
    <message>
        <source>2-D run not started: %1</source>
        <translation>2-D 解析を始めません: %1</translation>
    </message>
    <message>
        <source>2-D run ended at block %1, %2: no analysis is checked any more</source>
        <translation>2-D 解析をブロック %1, %2 で終えました: チェックされた解析がなくなりました</translation>
    </message>
    <message>
        <source>2-D run: the LCF could not fit %1 blocks (%2); their maps hold 0</source>
        <translation>2-D 解析: LCF が %1 ブロックをフィットできませんでした（%2）。それらのマップ値は 0 です</translation>
    </message>
    <message>
        <source>the block&apos;s spectrum has no points</source>
        <translation>ブロックのスペクトルに点がありません</translation>
    </message>
    <message>
        <source>no edge jump</source>
        <translation>エッジジャンプがありません</translation>
    </message>
    <message>
        <source>2-D run: the LCF fitted none of its %1 blocks (%2); its maps hold 0</source>
        <translation>2-D 解析: LCF は %1 ブロックのどれもフィットしませんでした（%2）。マップ値は 0 です</translation>
    </message>
    <message>
        <source>the edge energy %1 eV (%2) lies %3 eV outside the stack&apos;s energies %4 - %5 eV, farther than any edge shift; the frames&apos; energies or the edge energy are wrong</source>
        <translation>吸収端エネルギー %1 eV（%2）はスタックのエネルギー %4 - %5 eV から %3 eV 外れ、どのエッジシフトよりも遠くにあります。フレームのエネルギーか吸収端エネルギーが誤っています</translation>
    </message>
    <message>
        <source>the suggested edge</source>
        <translation>推奨元素の吸収端</translation>
    </message>
    <message>
        <source>the edge of the comparison&apos;s reference</source>
        <translation>比較参照の吸収端</translation>
    </message>
    <message>
        <source>2-D run: the energy-shift map is %1 x %2 pixels, the images %3 x %4: its shifts reach only part of the image, the rest is not corrected</source>
        <translation>2-D 解析: エネルギーシフトマップは %1 x %2 ピクセル、画像は %3 x %4 です: シフトは画像の一部にしか届かず、残りは補正されません</translation>
    </message>
    <message>
        <source>2-D run: %1: %2 of %3 blocks got no result: %4</source>
        <translation>2-D 解析: %1: %3 ブロックのうち %2 ブロックは結果がありません: %4</translation>
    </message>
    <message>
        <source>2-D run gave no result: in each of its %1 blocks %2</source>
        <translation>2-D 解析は結果を出しませんでした: %1 ブロックのどれでも %2</translation>
    </message>
    <message>
        <source>2-D run gave no result in any of its %1 blocks: %2</source>
        <translation>2-D 解析は %1 ブロックのどれでも結果を出しませんでした: %2</translation>
    </message>
    <message>
        <source>the LCF fit failed</source>
        <translation>LCF フィットに失敗しました</translation>
    </message>
    <message>
        <source>the LCF fit failed (%1)</source>
        <translation>LCF フィットに失敗しました（%1）</translation>
    </message>
    <message>
        <source>the spectrum was flagged (no edge found)</source>
        <translation>スペクトルにフラグが立ちました（吸収端が見つかりません）</translation>
    </message>
    <message>
        <source>the spectrum was flagged (edge not inside the window)</source>
        <translation>スペクトルにフラグが立ちました（吸収端が窓の中にありません）</translation>
    </message>
    <message>
        <source>no element showed a step</source>
        <translation>どの元素にもステップがありません</translation>
    </message>
    <message>
        <source>%1 flagged (no edge found)</source>
        <translation>%1 ブロックにフラグ（吸収端が見つかりません）</translation>
    </message>
    <message>
        <source>%1 flagged (edge not inside the window)</source>
        <translation>%1 ブロックにフラグ（吸収端が窓の中にありません）</translation>
    </message>
    <message>
        <source>%1 where %2</source>
        <translation>%1 ブロックで %2</translation>
    </message>
    <message>
        <source>%1 without an element step</source>
        <translation>%1 ブロックで元素のステップなし</translation>
    </message>
    <message>
        <source>the spectrum has no point (the block lies outside the image)</source>
        <translation>スペクトルに点がありません（ブロックが画像の外にあります）</translation>
    </message>
    <message>
        <source>%1 without a point (the block lies outside the image)</source>
        <translation>%1 ブロックは点がありません（ブロックが画像の外にあります）</translation>
    </message>
    <message>
        <source>LCF</source>
        <translation>LCF</translation>
    </message>
    <message>
        <source>edge shift</source>
        <translation>エッジシフト</translation>
    </message>
    <message>
        <source>elements</source>
        <translation>元素</translation>
    </message>
    <message>
        <source>residual absorption</source>
        <translation>残余吸収</translation>
    </message>
    <message>
        <source>2-D run: the energy-shift map is %1 x %2 pixels, larger than the images of %3 x %4: it was made for other frames, and its shifts may not belong to these pixels</source>
        <translation>2-D 解析: エネルギーシフトマップは %1 x %2 ピクセルで、%3 x %4 の画像より大きいです: 別のフレームのために作られたもので、シフトがこれらのピクセルのものとは限りません</translation>
    </message>
</context>
<context>
    <name>AnalysisOnBody</name>
    <message>
        <source>Sum up: saved %1 in %2</source>
        <translation>合算: %2 に %1 を保存しました</translation>
    </message>
    <message>
        <source>Sum up: %1 could not be saved: %2</source>
        <translation>合算: %1 を保存できませんでした: %2</translation>
    </message>
    <message>
        <source>Sum Up Img No. From</source>
        <translation>積算する画像番号 開始</translation>
    </message>
    <message>
        <source>Sum Up Img No. To</source>
        <translation>積算する画像番号 終了</translation>
    </message>
</context>
<context>
    <name>Analyzer</name>
    <message>
        <source>Analyzer</source>
        <translation>解析</translation>
    </message>
    <message>
        <source>2D Analysis</source>
        <translation>2D解析</translation>
    </message>
    <message>
        <source>Process Maps</source>
        <translation>マップ処理</translation>
    </message>
    <message>
        <source>Exec. LCF / MLCF Analysis</source>
        <translation>LCF / MLCF 解析を実行</translation>
    </message>
    <message>
        <source>Exec. Gen dEge Map</source>
        <translation>dEdge マップを作成</translation>
    </message>
    <message>
        <source>Element Analysis</source>
        <translation>元素解析</translation>
    </message>
    <message>
        <source>Residual Absorption Analysis</source>
        <translation>残留吸収解析</translation>
    </message>
    <message>
        <source>Analyze</source>
        <translation>解析</translation>
    </message>
    <message>
        <source>Disp. on Time</source>
        <translation>随時表示</translation>
    </message>
    <message>
        <source>Progress:</source>
        <translation>進捗:</translation>
    </message>
    <message>
        <source>0%</source>
        <translation>0%</translation>
    </message>
    <message>
        <source>Show View</source>
        <translation>スペクトル表示</translation>
    </message>
    <message>
        <source>Sum Up</source>
        <translation>積算</translation>
    </message>
    <message>
        <source>MLCF</source>
        <translation>MLCF</translation>
    </message>
    <message>
        <source>as Old</source>
        <translation>旧方式</translation>
    </message>
    <message>
        <source>Range</source>
        <translation>範囲</translation>
    </message>
    <message>
        <source>-</source>
        <translation>-</translation>
    </message>
    <message>
        <source>[eV]</source>
        <translation>[eV]</translation>
    </message>
    <message>
        <source>Zansa</source>
        <translation>残差</translation>
    </message>
    <message>
        <source>Show Zansa Map</source>
        <translation>残差マップ表示</translation>
    </message>
    <message>
        <source>Add Ref</source>
        <translation>参照追加</translation>
    </message>
    <message>
        <source>DMut</source>
        <translation>DMut</translation>
    </message>
    <message>
        <source>Ratio</source>
        <translation>比率</translation>
    </message>
    <message>
        <source>Fixed Scale</source>
        <translation>固定スケール</translation>
    </message>
    <message>
        <source>DMut Max</source>
        <translation>DMut 最大</translation>
    </message>
    <message>
        <source>Min</source>
        <translation>最小</translation>
    </message>
    <message>
        <source>Ratio Max</source>
        <translation>比率 最大</translation>
    </message>
    <message>
        <source>Mid Point</source>
        <translation>中点</translation>
    </message>
    <message>
        <source>(Mid = ( Post - Pre ) * a + Pre</source>
        <translation>(中点 = ( Post - Pre ) * a + Pre</translation>
    </message>
    <message>
        <source>Comp. with</source>
        <translation>比較対象</translation>
    </message>
    <message>
        <source>File</source>
        <translation>ファイル</translation>
    </message>
    <message>
        <source>Step at</source>
        <translation>ステップ位置</translation>
    </message>
    <message>
        <source>SW</source>
        <translation>SW</translation>
    </message>
    <message>
        <source>dE</source>
        <translation>dE</translation>
    </message>
    <message>
        <source>Seek Min. Params: Comp. Range</source>
        <translation>最小探索条件: 比較範囲</translation>
    </message>
    <message>
        <source>Init. Step</source>
        <translation>初期ステップ</translation>
    </message>
    <message>
        <source>Min. Step</source>
        <translation>最小ステップ</translation>
    </message>
    <message>
        <source>Show dEge Map</source>
        <translation>dEdge マップ表示</translation>
    </message>
    <message>
        <source>Res = mut(</source>
        <translation>残差 = mut(</translation>
    </message>
    <message>
        <source> [eV])- dmut x</source>
        <translation> [eV])- dmut x</translation>
    </message>
    <message>
        <source>Show dmut</source>
        <translation>dmut 表示</translation>
    </message>
    <message>
        <source>Show the Rest</source>
        <translation>残り表示</translation>
    </message>
    <message>
        <source>Show Ratio</source>
        <translation>比率表示</translation>
    </message>
    <message>
        <source>Target Element Names</source>
        <translation>対象元素名</translation>
    </message>
    <message>
        <source>Sort by A. No.</source>
        <translation>原子番号順</translation>
    </message>
    <message>
        <source>Show Res. Elems A.</source>
        <translation>元素解析結果表示</translation>
    </message>
    <message>
        <source>dMut of The Elem.</source>
        <translation>元素の dMut</translation>
    </message>
    <message>
        <source>N. dMut of The Elem.</source>
        <translation>元素の規格化 dMut</translation>
    </message>
    <message>
        <source>Mut+</source>
        <translation>Mut+</translation>
    </message>
    <message>
        <source>Mut-</source>
        <translation>Mut-</translation>
    </message>
    <message>
        <source>ROI</source>
        <translation>ROI</translation>
    </message>
    <message>
        <source>N.ROI</source>
        <translation>規格化ROI</translation>
    </message>
    <message>
        <source>Correlation</source>
        <translation>相関</translation>
    </message>
    <message>
        <source>Cor. Th</source>
        <translation>相関閾値</translation>
    </message>
    <message>
        <source>Cor. Th.</source>
        <translation>相関閾値</translation>
    </message>
    <message>
        <source>ReCalc Cor.</source>
        <translation>相関再計算</translation>
    </message>
    <message>
        <source>Set STD</source>
        <translation>標準に設定</translation>
    </message>
    <message>
        <source>Map1</source>
        <translation>マップ1</translation>
    </message>
    <message>
        <source>Map2</source>
        <translation>マップ2</translation>
    </message>
    <message>
        <source>Processed</source>
        <translation>処理結果</translation>
    </message>
    <message>
        <source>Select Map 1</source>
        <translation>マップ1選択</translation>
    </message>
    <message>
        <source>Capture</source>
        <translation>取込</translation>
    </message>
    <message>
        <source>Select Map 2</source>
        <translation>マップ2選択</translation>
    </message>
    <message>
        <source>Sub.</source>
        <translation>差</translation>
    </message>
    <message>
        <source>Div.</source>
        <translation>商</translation>
    </message>
    <message>
        <source>Mask</source>
        <translation>マスク</translation>
    </message>
    <message>
        <source>Process</source>
        <translation>処理</translation>
    </message>
    <message>
        <source>Analyzing Spectrum</source>
        <translation>解析中のスペクトル</translation>
    </message>
    <message>
        <source>Select Ref%1</source>
        <translation>参照%1選択</translation>
    </message>
    <message>
        <source>LCF</source>
        <translation>LCF</translation>
    </message>
    <message>
        <source>Edge Shift</source>
        <translation>エッジシフト</translation>
    </message>
    <message>
        <source>Element list not changed during a 2-D run: %1</source>
        <translation>2-D 解析中は元素リストを変えません: %1</translation>
    </message>
    <message>
        <source>No spectrum in %1: the edge comparison has no reference file</source>
        <translation>%1 にスペクトルがありません: エッジ比較の参照ファイルはありません</translation>
    </message>
    <message>
        <source>No spectrum in %1: the edge comparison keeps %2</source>
        <translation>%1 にスペクトルがありません: エッジ比較は %2 を使い続けます</translation>
    </message>
    <message>
        <source>Edge comparison settings refused (range %1, step %2, min. step %3: the steps must be above 0, the step not below the min. step, the range not too wide for the step); kept %4, %5, %6</source>
        <translation>エッジ比較の設定を受け付けません（範囲 %1、ステップ %2、最小ステップ %3: ステップは 0 より大きく、最小ステップ以上で、範囲はステップに対して広すぎてはいけません）。%4, %5, %6 のままです</translation>
    </message>
    <message>
        <source>The LCF reference file &quot;%1&quot; could not be read: reference row %2 has no file now</source>
        <translation>LCF 参照ファイル「%1」を読めませんでした: 参照行 %2 は今ファイルなしです</translation>
    </message>
    <message>
        <source>LCF: no fractions for this spectrum: %1</source>
        <translation>LCF: このスペクトルの割合は出せません: %1</translation>
    </message>
    <message>
        <source>The LCF reference &quot;%1&quot; of row %2 does not cover the fit: its energies less its dE reach %3 - %4 eV, the stack&apos;s energies in the LCF range %5 - %6 eV</source>
        <translation>LCF 参照「%1」（行 %2）はフィット範囲を覆っていません: dE を引いたエネルギーは %3 - %4 eV、LCF 範囲内のスタックのエネルギーは %5 - %6 eV です</translation>
    </message>
    <message>
        <source>the map of image %1 (%2)</source>
        <translation>画像 %1 のマップ（%2）</translation>
    </message>
    <message>
        <source>edge shift</source>
        <translation>エッジシフト</translation>
    </message>
    <message>
        <source>LCF residual</source>
        <translation>LCF 残差</translation>
    </message>
    <message>
        <source>residual-absorption jump</source>
        <translation>残留吸収ジャンプ</translation>
    </message>
    <message>
        <source>rest</source>
        <translation>残り</translation>
    </message>
    <message>
        <source>ratio</source>
        <translation>比</translation>
    </message>
    <message>
        <source>sum-up image</source>
        <translation>積算画像</translation>
    </message>
    <message>
        <source>the element correlation map (display mode 2)</source>
        <translation>元素相関マップ（表示モード 2）</translation>
    </message>
    <message>
        <source>the thresholded element correlation map (display mode 3)</source>
        <translation>閾値処理した元素相関マップ（表示モード 3）</translation>
    </message>
    <message>
        <source>Map1 of the map processing</source>
        <translation>マップ処理の Map1</translation>
    </message>
    <message>
        <source>Map2 of the map processing</source>
        <translation>マップ処理の Map2</translation>
    </message>
    <message>
        <source>the processed map</source>
        <translation>処理後のマップ</translation>
    </message>
    <message>
        <source>the map of reference row %1, map type 1 (amount)</source>
        <translation>参照行 %1 のマップ、マップ種別 1（量）</translation>
    </message>
    <message>
        <source>the map of reference row %1, map type 0 (fraction)</source>
        <translation>参照行 %1 のマップ、マップ種別 0（分率）</translation>
    </message>
    <message>
        <source>The LCF reference &quot;%1&quot; of row %2 does not cover the LCF range set now: its energies less its dE reach %3 - %4 eV, the stack&apos;s energies in that range %5 - %6 eV; a 2-D run judges it again when it starts</source>
        <translation>LCF 参照「%1」（行 %2）は今設定されている LCF 範囲を覆っていません: dE を引いたエネルギーは %3 - %4 eV、その範囲内のスタックのエネルギーは %5 - %6 eV です。2-D 解析は開始時にもう一度判定します</translation>
    </message>
</context>
<context>
    <name>Analyzer2</name>
    <message>
        <source>Collect Q Info</source>
        <translation>Q情報を収集</translation>
    </message>
    <message>
        <source>Th</source>
        <translation>閾値</translation>
    </message>
    <message>
        <source>Dark Check</source>
        <translation>ダークチェック</translation>
    </message>
    <message>
        <source>Histg. Max.</source>
        <translation>ヒストグラム上限</translation>
    </message>
    <message>
        <source>Bins</source>
        <translation>ビン数</translation>
    </message>
    <message>
        <source>Use Err Points Mask</source>
        <translation>不良画素マスクを使用</translation>
    </message>
    <message>
        <source>Analyzer2</source>
        <translation>解析パネル2</translation>
    </message>
    <message>
        <source>no I1 image</source>
        <translation>I1 画像がありません</translation>
    </message>
</context>
<context>
    <name>Analyzer2OnBody</name>
    <message>
        <source>Dark check: nothing written: %1</source>
        <translation>ダークチェック: 何も書きませんでした: %1</translation>
    </message>
    <message>
        <source>Dark check: saved %1 in %2</source>
        <translation>ダークチェック: %2 に %1 を保存しました</translation>
    </message>
    <message>
        <source>Dark Check Bins</source>
        <translation>ダークチェックのビン数</translation>
    </message>
</context>
<context>
    <name>BatchCtrl</name>
    <message>
        <source>Batch Cmds</source>
        <translation>バッチコマンド</translation>
    </message>
    <message>
        <source>Progress Log</source>
        <translation>進行ログ</translation>
    </message>
    <message>
        <source>Load</source>
        <translation>読込</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>クリア</translation>
    </message>
    <message>
        <source>Clear Log</source>
        <translation>ログクリア</translation>
    </message>
    <message>
        <source>Exec.</source>
        <translation>実行</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Batch File (*.bat)</source>
        <translation>バッチファイル (*.bat)</translation>
    </message>
    <message>
        <source>Any Files (* *.*)</source>
        <translation>すべてのファイル (* *.*)</translation>
    </message>
    <message>
        <source>BatchCtrl</source>
        <translation>バッチ制御</translation>
    </message>
    <message>
        <source>Err: %1
</source>
        <translation>Err: %1
</translation>
    </message>
    <message>
        <source>%1… (%2 more characters not shown)</source>
        <translation>%1…（残り %2 文字は表示していません）</translation>
    </message>
    <message>
        <source>the batch file %1 is not a regular file</source>
        <translation>バッチファイル %1 は通常のファイルではありません</translation>
    </message>
    <message>
        <source>the batch file %1 is longer than %2 MB</source>
        <translation>バッチファイル %1 は %2 MB より長いです</translation>
    </message>
    <message>
        <source>cannot read the batch file %1</source>
        <translation>バッチファイル %1 を読めません</translation>
    </message>
    <message numerus="yes">
        <source>(%n earlier line(s) of the log not shown)</source>
        <translation>
            <numerusform>（ログの前の %n 行は表示していません）</numerusform>
        </translation>
    </message>
    <message>
        <source>line %1: </source>
        <translation>%1 行目: </translation>
    </message>
    <message>
        <source>the batch file %1 is no text: it holds a NUL byte at byte %2 (line %3)</source>
        <translation>バッチファイル %1 はテキストではありません: %2 バイト目（%3 行目）に NUL バイトがあります</translation>
    </message>
    <message>
        <source>the batch file %1 has %2 lines, more than the %3 a script may have</source>
        <translation>バッチファイル %1 は %2 行あり、スクリプトに許される %3 行を超えています</translation>
    </message>
    <message>
        <source>the batch file %1 has a line of %2 bytes (line %3), longer than the %4 a line may have</source>
        <translation>バッチファイル %1 には %2 バイトの行（%3 行目）があり、1 行に許される %4 バイトより長いです</translation>
    </message>
</context>
<context>
    <name>BatchDispatcher</name>
    <message>
        <source>echo %1</source>
        <translation>echo %1</translation>
    </message>
    <message>
        <source>end</source>
        <translation>end</translation>
    </message>
    <message>
        <source>Err: line %1: longer than %2 characters after substitution; not run</source>
        <translation>Err: %1 行目: 置換後に %2 文字を超えます。実行しません</translation>
    </message>
    <message numerus="yes">
        <source>Batch: the script was stopped before its end; %n line(s) not run</source>
        <translation>
            <numerusform>バッチ: スクリプトは終わる前に止められました。%n 行を実行していません</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>(%n line(s) of the log left out)</source>
        <translation>
            <numerusform>（ログの %n 行を省きました）</numerusform>
        </translation>
    </message>
    <message>
        <source>line %1: </source>
        <translation>%1 行目: </translation>
    </message>
    <message>
        <source>for %1 : %2 = %3</source>
        <translation>for %1 : %2 = %3</translation>
    </message>
    <message>
        <source>a bound or step of loop %1 does not fit in 64 bits; the loop is not run</source>
        <translation>ループ %1 の範囲またはステップが 64 ビットに収まりません。ループを実行しません</translation>
    </message>
    <message>
        <source>next %1 : %2 = %3</source>
        <translation>next %1 : %2 = %3</translation>
    </message>
    <message>
        <source>let %1 = %2</source>
        <translation>let %1 = %2</translation>
    </message>
    <message>
        <source>%1 : %2</source>
        <translation>%1 : %2</translation>
    </message>
    <message>
        <source>unknown word %1</source>
        <translation>不明な語 %1</translation>
    </message>
    <message>
        <source>next %1 : finished at %2 = %3</source>
        <translation>next %1 : %2 = %3 で終了</translation>
    </message>
</context>
<context>
    <name>BatchOnBody</name>
    <message>
        <source>Batch: the script ended without &quot;quit&quot;; the program ends</source>
        <translation>バッチ: スクリプトは「quit」なしで終わりました。プログラムを終了します</translation>
    </message>
    <message>
        <source>the configuration file %1 cannot be read (%2): its keys are not set</source>
        <translation>設定ファイル %1 を読めません（%2）: そのキーは設定されません</translation>
    </message>
    <message>
        <source>the configuration file %1 is not read: it is no plain file</source>
        <translation>設定ファイル %1 は読みません: 通常のファイルではありません</translation>
    </message>
    <message>
        <source>the configuration file %1 is not read: its name holds a zero character</source>
        <translation>設定ファイル %1 は読みません: 名前にゼロ文字が含まれています</translation>
    </message>
    <message>
        <source>the bad-pixel list %1 (ErrPoints) cannot be read: bad pixels are not repaired</source>
        <translation>不良画素リスト %1（ErrPoints）を読めません: 不良画素は補修されません</translation>
    </message>
    <message>
        <source>Err: %1</source>
        <translation>Err: %1</translation>
    </message>
</context>
<context>
    <name>Body</name>
    <message>
        <source>Corvenlith</source>
        <translation>Corvenlith</translation>
    </message>
    <message>
        <source>Suggest Elm.</source>
        <translation>推奨元素</translation>
    </message>
    <message>
        <source>Cu</source>
        <translation>Cu</translation>
    </message>
    <message>
        <source>K</source>
        <translation>K</translation>
    </message>
    <message>
        <source>L1</source>
        <translation>L1</translation>
    </message>
    <message>
        <source>L2</source>
        <translation>L2</translation>
    </message>
    <message>
        <source>L3</source>
        <translation>L3</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>[eV]</source>
        <translation>[eV]</translation>
    </message>
    <message>
        <source>dPreE</source>
        <translation>dPreE</translation>
    </message>
    <message>
        <source>-20</source>
        <translation>-20</translation>
    </message>
    <message>
        <source>dPostS</source>
        <translation>dPostS</translation>
    </message>
    <message>
        <source>20</source>
        <translation>20</translation>
    </message>
    <message>
        <source>Th. Jmp.</source>
        <translation>閾値ジャンプ</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>sgm.</source>
        <translation>σ</translation>
    </message>
    <message>
        <source>Use</source>
        <translation>使用</translation>
    </message>
    <message>
        <source>Fluo. Type</source>
        <translation>蛍光法</translation>
    </message>
    <message>
        <source>Dark Data</source>
        <translation>ダークデータ</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>クリア</translation>
    </message>
    <message>
        <source>Exp.</source>
        <translation>露光</translation>
    </message>
    <message>
        <source>50</source>
        <translation>50</translation>
    </message>
    <message>
        <source>[ms]</source>
        <translation>[ms]</translation>
    </message>
    <message>
        <source>Total I0 of I1</source>
        <translation>I1の全I0</translation>
    </message>
    <message>
        <source>BG Data</source>
        <translation>BGデータ</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>表示</translation>
    </message>
    <message>
        <source>Total I0 of I0</source>
        <translation>I0の全I0</translation>
    </message>
    <message>
        <source>Img. Select :</source>
        <translation>画像選択 :</translation>
    </message>
    <message>
        <source>Data</source>
        <translation>データ</translation>
    </message>
    <message>
        <source>I0</source>
        <translation>I0</translation>
    </message>
    <message>
        <source>Eng. Shift</source>
        <translation>エネルギーシフト</translation>
    </message>
    <message>
        <source>Res. Analysis</source>
        <translation>解析結果</translation>
    </message>
    <message>
        <source>Show Stats</source>
        <translation>統計表示</translation>
    </message>
    <message>
        <source>Show Spectrum</source>
        <translation>スペクトル表示</translation>
    </message>
    <message>
        <source>Show Img. Proc.</source>
        <translation>画像処理表示</translation>
    </message>
    <message>
        <source>Show Cali. Ctrl.</source>
        <translation>校正制御表示</translation>
    </message>
    <message>
        <source>Show Analyzer</source>
        <translation>解析パネル表示</translation>
    </message>
    <message>
        <source>Show Analyser2</source>
        <translation>解析パネル2表示</translation>
    </message>
    <message>
        <source>B</source>
        <translation>B</translation>
    </message>
    <message>
        <source>xw</source>
        <translation>xw</translation>
    </message>
    <message>
        <source>10</source>
        <translation>10</translation>
    </message>
    <message>
        <source>yw</source>
        <translation>yw</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Img. No.</source>
        <translation>画像番号</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;AAAAA&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;AAAAA&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;br/&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;br/&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Zoom in</source>
        <translation>拡大</translation>
    </message>
    <message>
        <source>Reset Scale</source>
        <translation>スケール初期化</translation>
    </message>
    <message>
        <source>Val:</source>
        <translation>値:</translation>
    </message>
    <message>
        <source>0.0</source>
        <translation>0.0</translation>
    </message>
    <message>
        <source>(0,0)</source>
        <translation>(0,0)</translation>
    </message>
    <message>
        <source>Dark : </source>
        <translation>ダーク : </translation>
    </message>
    <message>
        <source>   dE from Std.: </source>
        <translation>   標準からのdE: </translation>
    </message>
    <message>
        <source>    from Tbl.: </source>
        <translation>    表から: </translation>
    </message>
    <message>
        <source>Q.S. Fitted</source>
        <translation>二次曲面フィット</translation>
    </message>
    <message>
        <source>Selected Area</source>
        <translation>選択領域</translation>
    </message>
    <message>
        <source>Batch Ctrl.</source>
        <translation>バッチ制御</translation>
    </message>
    <message>
        <source>Chk Vals</source>
        <translation>値確認</translation>
    </message>
    <message>
        <source>Save Img/Data</source>
        <translation>画像/データ保存</translation>
    </message>
    <message>
        <source>Save Image</source>
        <translation>画像保存</translation>
    </message>
    <message>
        <source>Save Data</source>
        <translation>データ保存</translation>
    </message>
    <message>
        <source>Cfg.</source>
        <translation>設定</translation>
    </message>
    <message>
        <source>Save Flat Dark</source>
        <translation>フラット/ダーク保存</translation>
    </message>
    <message>
        <source>Save Proc. Data</source>
        <translation>処理データ保存</translation>
    </message>
    <message>
        <source>Save Each Spectrum</source>
        <translation>各スペクトル保存</translation>
    </message>
    <message>
        <source>Normalized XAFS</source>
        <translation>規格化XAFS</translation>
    </message>
    <message>
        <source>Raw XAFS</source>
        <translation>生XAFS</translation>
    </message>
    <message>
        <source>Raw</source>
        <translation>生データ</translation>
    </message>
    <message>
        <source>DeGlitch</source>
        <translation>グリッチ除去</translation>
    </message>
    <message>
        <source>NES</source>
        <translation>NES</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Deglitch E-Shift Map&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;エネルギーシフトマップのグリッチ除去&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>de Glitch</source>
        <translation>グリッチ除去</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Deglitch Selected Map&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;選択マップのグリッチ除去&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>2.0</source>
        <translation>2.0</translation>
    </message>
    <message>
        <source>0.1</source>
        <translation>0.1</translation>
    </message>
    <message>
        <source>Extra</source>
        <translation>その他</translation>
    </message>
    <message>
        <source>Exec F.A.</source>
        <translation>フーリエ解析実行</translation>
    </message>
    <message>
        <source>Set All</source>
        <translation>全体に設定</translation>
    </message>
    <message>
        <source>I1 Data</source>
        <translation>I1データ</translation>
    </message>
    <message>
        <source>I0 Data</source>
        <translation>I0データ</translation>
    </message>
    <message>
        <source>Image File (*.png)</source>
        <translation>画像ファイル (*.png)</translation>
    </message>
    <message>
        <source>Any Files (* *.*)</source>
        <translation>すべてのファイル (* *.*)</translation>
    </message>
    <message>
        <source>XAFS Spectra (*.dat)</source>
        <translation>XAFSスペクトル (*.dat)</translation>
    </message>
    <message>
        <source>BG File</source>
        <translation>BGファイル</translation>
    </message>
    <message>
        <source>BG Specturm</source>
        <translation>BGスペクトル</translation>
    </message>
    <message>
        <source>Spectrum at the position</source>
        <translation>カーソル位置のスペクトル</translation>
    </message>
    <message>
        <source>Tiff File (*.tif)</source>
        <translation>Tiffファイル (*.tif)</translation>
    </message>
    <message>
        <source>Data File (*.dat)</source>
        <translation>データファイル (*.dat)</translation>
    </message>
    <message>
        <source>%1 of %2 files could not be read and are not in the %3 stack (first: %4)</source>
        <translation>%2 個のうち %1 個のファイルを読めず、%3 スタックに入れていません（最初: %4）</translation>
    </message>
    <message>
        <source>%1 is %2 x %3 pixels, the first frame of the %4 stack %5 x %6: not loaded</source>
        <translation>%1 は %2 x %3 ピクセルで、%4 スタックの最初の画像 %5 x %6 と異なるため読み込みません</translation>
    </message>
    <message>
        <source>Some frames of the %1 stack share an energy: their points are averaged</source>
        <translation>%1 スタックに同じエネルギーの画像があります: それらの点は平均します</translation>
    </message>
    <message>
        <source>All %1 frames of the %2 stack have the energy %3 eV: check how the energies of the files are given</source>
        <translation>%2 スタックの %1 枚すべてのエネルギーが %3 eV です: ファイルのエネルギーの与え方を確認してください</translation>
    </message>
    <message>
        <source>Some frames of the %1 stack have no usable energy</source>
        <translation>%1 スタックに使えるエネルギーのない画像があります</translation>
    </message>
    <message>
        <source>The I0 stack (%1 - %2 eV) does not cover the I1 energies (%3 - %4 eV): outside its range the nearest I0 frame is used</source>
        <translation>I0 スタック（%1 - %2 eV）は I1 のエネルギー（%3 - %4 eV）を覆っていません: 範囲外では最も近い I0 画像を使います</translation>
    </message>
    <message>
        <source>%1 is %2 x %3 pixels, the frames of the %4 stack %5 x %6: not loaded into the %7 stack</source>
        <translation>%1 は %2 x %3 ピクセルで、%4 スタックの画像 %5 x %6 と異なるため %7 スタックに読み込みません</translation>
    </message>
    <message>
        <source>%1 of %2 files of the %3 stack have no energy in their name (pattern %4): their numbers in the list are taken as energies (first: %5)</source>
        <translation>%3 スタックの %2 個のうち %1 個のファイル名にエネルギーがありません（パターン %4）: リスト中の番号をエネルギーとします（最初: %5）</translation>
    </message>
    <message>
        <source>%1 of %2 files of the %3 stack hold several pages (first: %4, %5 pages): only the first page of each is read</source>
        <translation>%3 スタックの %2 個のうち %1 個のファイルは複数ページです（最初: %4、%5 ページ）: 各ファイルの最初のページだけを読み込みます</translation>
    </message>
    <message>
        <source>No map selected: %1 not saved</source>
        <translation>マップが選ばれていません: %1 は保存しません</translation>
    </message>
    <message>
        <source>The dark image %1 could not be read: no dark image in use</source>
        <translation>ダーク画像 %1 を読めません: ダーク画像は使いません</translation>
    </message>
    <message>
        <source>The total I0 file %1 could not be read: no total I0 in use</source>
        <translation>全 I0 ファイル %1 を読めません: 全 I0 は使いません</translation>
    </message>
    <message>
        <source>%1 has no I0 column: no total I0 in use</source>
        <translation>%1 に I0 の列がありません: 全 I0 は使いません</translation>
    </message>
    <message>
        <source>The background spectrum %1 could not be read</source>
        <translation>バックグラウンドスペクトル %1 を読めません</translation>
    </message>
    <message>
        <source>%1 Cut F.</source>
        <translation>%1 先頭除外</translation>
    </message>
    <message>
        <source>%1 Cut L.</source>
        <translation>%1 末尾除外</translation>
    </message>
    <message>
        <source>%1 Skip</source>
        <translation>%1 間引き</translation>
    </message>
    <message>
        <source>The I0 stack (%1 - %2 eV) does not overlap the I1 energies (%3 - %4 eV): the spectra cannot be normalised by it</source>
        <translation>I0 スタック（%1 - %2 eV）が I1 のエネルギー（%3 - %4 eV）と重なりません: これでスペクトルを規格化することはできません</translation>
    </message>
    <message>
        <source>no region is selected: the %1 dark area is not set</source>
        <translation>領域が選ばれていません: %1 のダーク領域は設定しません</translation>
    </message>
    <message>
        <source>the selected region has no pixel in the image: the %1 dark area is not set</source>
        <translation>選んだ領域は画像内にピクセルがありません: %1 のダーク領域は設定しません</translation>
    </message>
    <message>
        <source>The %1 dark area has no pixel in the frames of %2 x %3 pixels: no dark area in use</source>
        <translation>%1 のダーク領域は %2 x %3 ピクセルのフレーム内にピクセルがありません: ダーク領域を使いません</translation>
    </message>
    <message>
        <source>No frames loaded into the %1 stack: %2; a frame&apos;s energy must be above 0 and at most %3 eV</source>
        <translation>%1 スタックにフレームを読み込みませんでした: %2。フレームのエネルギーは 0 より大きく %3 eV 以下でなければなりません</translation>
    </message>
    <message>
        <source>No frames loaded into the %1 stack: %2</source>
        <translation>%1 スタックにフレームを読み込みませんでした: %2</translation>
    </message>
    <message>
        <source>No reference map has an image (no reference row in use, or no 2-D run since): %1 not saved</source>
        <translation>画像を持つ参照マップがありません（使用中の参照行がないか、その後 2-D 解析をしていません）: %1 は保存しません</translation>
    </message>
    <message>
        <source>%1 has no image suffix (.png, .tif, …): nothing saved</source>
        <translation>%1 には画像の拡張子（.png、.tif など）がありません: 何も保存しません</translation>
    </message>
</context>
<context>
    <name>BoundedField</name>
    <message>
        <source>%1: %2 clipped to %3 (%4 to %5)</source>
        <translation>%1: %2 を %3 に制限しました（%4 から %5）</translation>
    </message>
</context>
<context>
    <name>CalibCtrl</name>
    <message>
        <source>Calibration</source>
        <translation>校正</translation>
    </message>
    <message>
        <source>Method :</source>
        <translation>方法 :</translation>
    </message>
    <message>
        <source>dMidx</source>
        <translation>dMidx</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Calibrate by checking the difference of dMidx, which is a point defined as a cross point of a spectrum and mean value of pre- and post-edge lines.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;dMidx の差で校正します。dMidx はスペクトルと吸収端前後の直線の平均値との交点です。&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>inner P.</source>
        <translation>内積</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Calibrate by checking normalized inner products of the spectrum at the point and the standard spectrum. &lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;その位置のスペクトルと標準スペクトルの規格化内積で校正します。&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Initial E-range</source>
        <translation>初期エネルギー範囲</translation>
    </message>
    <message>
        <source>E-step</source>
        <translation>エネルギー刻み</translation>
    </message>
    <message>
        <source>Min. E-step</source>
        <translation>最小エネルギー刻み</translation>
    </message>
    <message>
        <source>Crystal</source>
        <translation>結晶</translation>
    </message>
    <message>
        <source>Edge E. (eV)</source>
        <translation>吸収端エネルギー (eV)</translation>
    </message>
    <message>
        <source>Target :</source>
        <translation>対象 :</translation>
    </message>
    <message>
        <source>Simple</source>
        <translation>単純</translation>
    </message>
    <message>
        <source>Victreen</source>
        <translation>Victoreen</translation>
    </message>
    <message>
        <source>Std. :</source>
        <translation>標準 :</translation>
    </message>
    <message>
        <source>Exec Calib.</source>
        <translation>校正実行</translation>
    </message>
    <message>
        <source>%</source>
        <translation>%</translation>
    </message>
    <message>
        <source>Clear Map</source>
        <translation>マップ消去</translation>
    </message>
    <message>
        <source>Max.</source>
        <translation>最大</translation>
    </message>
    <message>
        <source>Delta Energy DMin.</source>
        <translation>エネルギー差 DMin.</translation>
    </message>
    <message>
        <source>Avr.</source>
        <translation>平均</translation>
    </message>
    <message>
        <source>sigma</source>
        <translation>σ</translation>
    </message>
    <message>
        <source>Width</source>
        <translation>幅</translation>
    </message>
    <message>
        <source>Height</source>
        <translation>高さ</translation>
    </message>
    <message>
        <source>X Offset</source>
        <translation>X オフセット</translation>
    </message>
    <message>
        <source>Y Offset</source>
        <translation>Y オフセット</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Load</source>
        <translation>読込</translation>
    </message>
    <message>
        <source>Chk. Size</source>
        <translation>サイズ確認</translation>
    </message>
    <message>
        <source>Select Std.</source>
        <translation>標準選択</translation>
    </message>
</context>
<context>
    <name>CalibMath</name>
    <message>
        <source>E-range and E-steps must be numbers</source>
        <translation>E範囲とEステップは数値でなければなりません</translation>
    </message>
    <message>
        <source>Min. E-step must be above 0</source>
        <translation>最小Eステップは 0 より大きくなければなりません</translation>
    </message>
    <message>
        <source>E-step must not be below Min. E-step</source>
        <translation>Eステップは最小Eステップ以上でなければなりません</translation>
    </message>
    <message>
        <source>Initial E-range must not be negative</source>
        <translation>初期E範囲は負であってはなりません</translation>
    </message>
    <message>
        <source>Initial E-range is too wide for its E-step</source>
        <translation>初期E範囲がEステップに対して広すぎます</translation>
    </message>
    <message>
        <source>no image size</source>
        <translation>画像サイズがありません</translation>
    </message>
    <message>
        <source>area is not a number</source>
        <translation>領域が数値ではありません</translation>
    </message>
    <message>
        <source>empty area</source>
        <translation>領域が空です</translation>
    </message>
    <message>
        <source>the area lies outside the image</source>
        <translation>領域が画像の外にあります</translation>
    </message>
</context>
<context>
    <name>CalibOnBody</name>
    <message>
        <source>Standard spectrum not loaded: no spectrum in %1</source>
        <translation>標準スペクトルを読み込みません: %1 にスペクトルがありません</translation>
    </message>
    <message>
        <source>the I1 stack changed</source>
        <translation>I1 スタックが変わりました</translation>
    </message>
    <message>
        <source>The energy-shift map was not saved: this window has no map files</source>
        <translation>エネルギーシフトマップを保存しません: このウィンドウにはマップファイルがありません</translation>
    </message>
    <message>
        <source>The energy-shift map was not saved: a calibration is still running</source>
        <translation>エネルギーシフトマップを保存しません: 校正の実行中です</translation>
    </message>
    <message>
        <source>Energy-shift map not read: this window has no map files</source>
        <translation>エネルギーシフトマップを読みません: このウィンドウにはマップファイルがありません</translation>
    </message>
    <message>
        <source>an energy map file is read</source>
        <translation>エネルギーマップファイルを読み込んでいます</translation>
    </message>
    <message>
        <source>Standard spectrum not used: %1 was refused: %2</source>
        <translation>標準スペクトルを使いません: %1 は受け付けられませんでした: %2</translation>
    </message>
</context>
<context>
    <name>CmdExecutor</name>
    <message>
        <source>No images loaded: the folder %1 does not exist</source>
        <translation>画像を読み込んでいません: フォルダ %1 がありません</translation>
    </message>
    <message>
        <source>No images loaded: no file in %1 matches %2</source>
        <translation>画像を読み込んでいません: %1 に %2 に合うファイルがありません</translation>
    </message>
    <message>
        <source>Err: %1: %2</source>
        <translation>Err: %1: %2</translation>
    </message>
    <message>
        <source>%1: %2 clipped to %3 (%4 to %5)</source>
        <translation>%1: %2 を %3 に制限しました（%4 から %5）</translation>
    </message>
    <message>
        <source>the image of %1 x %2 pixels</source>
        <translation>%1 x %2 ピクセルの画像</translation>
    </message>
    <message>
        <source>no image is loaded, the largest image is %1 x %2 pixels</source>
        <translation>画像が読み込まれていません。最大の画像は %1 x %2 ピクセルです</translation>
    </message>
    <message>
        <source>%1: (%2, %3) clipped to (%4, %5): %6</source>
        <translation>%1: (%2, %3) を (%4, %5) に制限しました: %6</translation>
    </message>
    <message>
        <source>the region lies outside %1</source>
        <translation>領域が %1 の外にあります</translation>
    </message>
    <message>
        <source>%1: (%2, %3)-(%4, %5) clipped to (%6, %7)-(%8, %9): %10</source>
        <translation>%1: (%2, %3)-(%4, %5) を (%6, %7)-(%8, %9) に制限しました: %10</translation>
    </message>
    <message>
        <source>the %1 stack has no frame %2 (it holds %3)</source>
        <translation>%1 スタックにフレーム %2 はありません（%3 枚です）</translation>
    </message>
    <message>
        <source>%1 is none of 0 to %2; nothing changed</source>
        <translation>%1 は 0 から %2 のどれでもありません。何も変えていません</translation>
    </message>
    <message>
        <source>the region holds no pixel: its corners share a column or a row</source>
        <translation>領域にピクセルがありません: 角が同じ列か行にあります</translation>
    </message>
    <message>
        <source>neither stack has frame %1 (I1 holds %2, I0 %3)</source>
        <translation>どちらのスタックにもフレーム %1 はありません（I1 は %2 枚、I0 は %3 枚）</translation>
    </message>
    <message>
        <source>Energy calculation refused: %1; it keeps Start %2, Delta %3, End %4 and %5 points</source>
        <translation>エネルギー計算を受け付けません: %1。開始 %2、刻み %3、終了 %4、%5 点のままです</translation>
    </message>
    <message>
        <source>no image stack is loaded: no spectrum to save</source>
        <translation>画像スタックが読み込まれていません: 保存するスペクトルがありません</translation>
    </message>
    <message>
        <source>no file given: the %1 stack is emptied, nothing loaded</source>
        <translation>ファイルの指定がありません: %1 スタックを空にし、何も読み込みません</translation>
    </message>
    <message>
        <source>no file given: nothing loaded</source>
        <translation>ファイルの指定がありません: 何も読み込みません</translation>
    </message>
    <message>
        <source>no file name given: nothing saved</source>
        <translation>ファイル名の指定がありません: 何も保存しません</translation>
    </message>
    <message>
        <source>no spectrum of the spectrum window has a point: nothing saved</source>
        <translation>スペクトルウィンドウのどのスペクトルにも点がありません: 何も保存しません</translation>
    </message>
    <message>
        <source>the element stays %1</source>
        <translation>元素は %1 のままです</translation>
    </message>
    <message>
        <source>no element has the symbol %1; did you mean %2? %3</source>
        <translation>記号 %1 の元素はありません。%2 のことですか？ %3</translation>
    </message>
    <message>
        <source>%1 has no edge energy in the table; %2</source>
        <translation>%1 には表にエッジエネルギーがありません。%2</translation>
    </message>
    <message>
        <source>no element has the symbol %1 (symbols as Fe, Cu, Zn); %2</source>
        <translation>記号 %1 の元素はありません（Fe、Cu、Zn のような記号）。%2</translation>
    </message>
</context>
<context>
    <name>DarkCheck</name>
    <message>
        <source>the I1 stack or the bin count cannot be used</source>
        <translation>I1 スタックまたはビン数が使えません</translation>
    </message>
</context>
<context>
    <name>EOFSetup</name>
    <message>
        <source>XAFS Data File (*.dat)</source>
        <translation>XAFSデータファイル (*.dat)</translation>
    </message>
    <message>
        <source>Any Files (* *.*)</source>
        <translation>すべてのファイル (* *.*)</translation>
    </message>
    <message>
        <source>from its name by the pattern %1 and the factor %2</source>
        <translation>パターン %1 と係数 %2 によりファイル名から</translation>
    </message>
    <message>
        <source>calculated as file %1 of the list from Start %2, Delta %3, End %4 and %5 points in %6</source>
        <translation>リストの %1 番目のファイルとして Start %2、Delta %3、End %4、%5 点（%6）から計算</translation>
    </message>
    <message>
        <source>%1 would have an energy of %2 eV, %3</source>
        <translation>%1 のエネルギーは %2 eV になります（%3）</translation>
    </message>
    <message>
        <source>(none read)</source>
        <translation>（読み込まれていません）</translation>
    </message>
    <message>
        <source>%1 would have an energy of %2 eV, from the angle %3 degrees in the reference list %4, line %5</source>
        <translation>%1 のエネルギーは参照リスト %4 の %5 行目の角度 %3 度から %2 eV になります</translation>
    </message>
    <message>
        <source>the reference list %1 has %2 angle lines for %3 files, so %4 of the frames have no line of their own (first: %5)</source>
        <translation>参照リスト %1 には %3 個のファイルに対して角度の行が %2 行しかないため、%4 枚のフレームに対応する行がありません（最初: %5）</translation>
    </message>
    <message>
        <source>cannot read the reference list %1</source>
        <translation>参照リスト %1 を読めません</translation>
    </message>
    <message>
        <source>the reference list %1 has a line longer than %2 characters: no list</source>
        <translation>参照リスト %1 には %2 文字を超える行があります: リストではありません</translation>
    </message>
    <message>
        <source>; no energies come from a reference list until one is read</source>
        <translation>。参照リストを読み込むまで、参照リストからエネルギーは取られません</translation>
    </message>
</context>
<context>
    <name>EShiftMapDialog</name>
    <message>
        <source>Energy Shift Map File (*.emp)</source>
        <translation>エネルギーシフトマップファイル (*.emp)</translation>
    </message>
    <message>
        <source>Any Files (* *.*)</source>
        <translation>すべてのファイル (* *.*)</translation>
    </message>
</context>
<context>
    <name>EShiftMapFile</name>
    <message>
        <source>the edge energy %1 eV gives no angle with the spacing %2</source>
        <translation>エッジエネルギー %1 eV は面間隔 %2 で角度になりません</translation>
    </message>
    <message>
        <source>%1 energy shifts have no angle at the edge energy %2 eV</source>
        <translation>%1 個のエネルギーシフトがエッジエネルギー %2 eV で角度になりません</translation>
    </message>
</context>
<context>
    <name>ElemCtrl</name>
    <message>
        <source>Frame</source>
        <translation>フレーム</translation>
    </message>
    <message>
        <source>Target</source>
        <translation>基準</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Expected Absorption Edge.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;予想される吸収端。&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>[eV]</source>
        <translation>[eV]</translation>
    </message>
    <message>
        <source>Pre/Post dE</source>
        <translation>前後 dE</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;dmut is calculated as mu(E0+dE) - mu(E0-dE).&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;dmut は mu(E0+dE) - mu(E0-dE) として計算します。&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>[eV] Th</source>
        <translation>[eV] 閾値</translation>
    </message>
    <message>
        <source>dmut</source>
        <translation>dmut</translation>
    </message>
    <message>
        <source>Ratio</source>
        <translation>比</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Relative strength of the dmut against the dmut of selecte element as Target.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;基準として選んだ元素の dmut に対する dmut の相対強度。&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>dE</source>
        <translation>dE</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Position of the absorption edge, where the mut is ( mu(E0+dE) + mu(E0-dE) ) / 2.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;吸収端の位置。mut が ( mu(E0+dE) + mu(E0-dE) ) / 2 となる所。&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>ROI</source>
        <translation>ROI</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Start position of the ROI.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;ROI の開始位置。&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;End position of the ROI.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;ROI の終了位置。&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Th dmut</source>
        <translation>dmut 閾値</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Threshold value of the dmut.&lt;/p&gt;&lt;p&gt;When the dmut is less than the Threshold, most of the values (ROI, dmut,...) is set at BG Val.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;dmut の閾値。&lt;/p&gt;&lt;p&gt;dmut が閾値より小さいとき、ほとんどの値 (ROI, dmut, ...) は BG 値になります。&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;When the ROI is negative, the BG value is used instead of the calculated one.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;ROI が負のときは計算値の代わりに BG 値を使います。&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>No Neg</source>
        <translation>負なし</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;ROI Value&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;ROI 値&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Normalized ROI value calculated as ROI / dmut.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;ROI / dmut として計算した規格化 ROI 値。&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Std. Ratio</source>
        <translation>標準比</translation>
    </message>
    <message>
        <source>Use</source>
        <translation>使用</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>表示</translation>
    </message>
    <message>
        <source>dMut</source>
        <translation>dMut</translation>
    </message>
    <message>
        <source>normalised dMut</source>
        <translation>規格化 dMut</translation>
    </message>
    <message>
        <source>Mut+</source>
        <translation>Mut+</translation>
    </message>
    <message>
        <source>Mut-</source>
        <translation>Mut-</translation>
    </message>
    <message>
        <source>normalised ROI</source>
        <translation>規格化 ROI</translation>
    </message>
    <message>
        <source>the map of element %1, display mode %2 (%3)</source>
        <translation>元素 %1 のマップ、表示モード %2（%3）</translation>
    </message>
</context>
<context>
    <name>EnergyCalibration</name>
    <message>
        <source>the calibration window, map or block spectra are not set up</source>
        <translation>校正ウィンドウ、マップまたはブロックスペクトルが用意されていません</translation>
    </message>
    <message>
        <source>no I1 image is loaded</source>
        <translation>I1 画像が読み込まれていません</translation>
    </message>
    <message>
        <source>it needs a standard spectrum and none is loaded (press &quot;Select Std.&quot;)</source>
        <translation>標準スペクトルが必要ですが読み込まれていません（「標準選択」を押してください）</translation>
    </message>
    <message>
        <source>Calibration not started: %1</source>
        <translation>校正を始めません: %1</translation>
    </message>
    <message>
        <source>the map was cleared</source>
        <translation>マップが消去されました</translation>
    </message>
    <message>
        <source>Calibration stopped: %1</source>
        <translation>校正を止めました: %1</translation>
    </message>
    <message>
        <source>Calibration measured no block: none of the %1 blocks shows the standard&apos;s edge; the map holds no shift, the figures are kept</source>
        <translation>校正はどのブロックも測れませんでした: %1 ブロックのどれにも標準のエッジがありません。マップにシフトはなく、数値はそのままです</translation>
    </message>
    <message>
        <source>Calibration done: %1 of %2 blocks show no edge and got no shift</source>
        <translation>校正完了: %2 ブロック中 %1 ブロックにエッジがなく、シフトを付けていません</translation>
    </message>
    <message>
        <source> (%1 of them: the stack&apos;s energies put no point on the edge&apos;s rise, so its place is unknown)</source>
        <translation>(うち %1 ブロック: スタックのエネルギーがエッジの立ち上がりに一点もなく、その位置が分かりません)</translation>
    </message>
    <message>
        <source> (%1 of them: the standard&apos;s E0 on the stack&apos;s energies meets the block&apos;s at no single shift, so the mid-point cannot place the edge)</source>
        <translation>(うち %1 ブロック: スタックのエネルギー上の標準試料の E0 がブロックの E0 とただ一つのシフトで一致せず、中点法ではエッジの位置を決められません)</translation>
    </message>
    <message>
        <source>the standard was cleared</source>
        <translation>標準がクリアされました</translation>
    </message>
</context>
<context>
    <name>EnergyOfFiles</name>
    <message>
        <source>the number of points must be at least 1</source>
        <translation>点数は 1 以上でなければなりません</translation>
    </message>
    <message>
        <source>Start, Delta and End must be finite</source>
        <translation>開始、刻み、終了は有限の値でなければなりません</translation>
    </message>
    <message>
        <source>Start and End must be angles between 0 and 180 degrees giving at most %1 eV</source>
        <translation>開始と終了は 0 から 180 度の間で、%1 eV 以下を与える角度でなければなりません</translation>
    </message>
    <message>
        <source>Start and End must be energies above 0 and at most %1 eV</source>
        <translation>開始と終了は 0 より大きく %1 eV 以下のエネルギーでなければなりません</translation>
    </message>
    <message>
        <source>in angle steps Start and End must be at least %1 eV</source>
        <translation>角度刻みでは開始と終了は %1 eV 以上でなければなりません</translation>
    </message>
</context>
<context>
    <name>EngOfFilesSetup</name>
    <message>
        <source>Frame</source>
        <translation>フレーム</translation>
    </message>
    <message>
        <source>Energy Cal. from File Name</source>
        <translation>ファイル名からエネルギー計算</translation>
    </message>
    <message>
        <source>Pattern</source>
        <translation>パターン</translation>
    </message>
    <message>
        <source>background-color: rgb(255, 255, 255);</source>
        <translation>background-color: rgb(255, 255, 255);</translation>
    </message>
    <message>
        <source>Factor</source>
        <translation>係数</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>{Reg. Exp]</source>
        <translation>{正規表現]</translation>
    </message>
    <message>
        <source>Energy Cal. from File No.</source>
        <translation>ファイル番号からエネルギー計算</translation>
    </message>
    <message>
        <source>Sel. Unit</source>
        <translation>単位選択</translation>
    </message>
    <message>
        <source>eV</source>
        <translation>eV</translation>
    </message>
    <message>
        <source>keV</source>
        <translation>keV</translation>
    </message>
    <message>
        <source>deg</source>
        <translation>度</translation>
    </message>
    <message>
        <source>Even in</source>
        <translation>等間隔:</translation>
    </message>
    <message>
        <source>Energy</source>
        <translation>エネルギー</translation>
    </message>
    <message>
        <source>Angle</source>
        <translation>角度</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>開始</translation>
    </message>
    <message>
        <source>Delta</source>
        <translation>間隔</translation>
    </message>
    <message>
        <source>End</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>Num</source>
        <translation>点数</translation>
    </message>
    <message>
        <source>8000</source>
        <translation>8000</translation>
    </message>
    <message>
        <source>9000</source>
        <translation>9000</translation>
    </message>
    <message>
        <source>1000</source>
        <translation>1000</translation>
    </message>
    <message>
        <source>Energy Cal. from Ref. File</source>
        <translation>参照ファイルからエネルギー計算</translation>
    </message>
    <message>
        <source>Correspond from End</source>
        <translation>末尾から対応</translation>
    </message>
    <message>
        <source>background-color: rgb(255, 255, 231);</source>
        <translation>background-color: rgb(255, 255, 231);</translation>
    </message>
    <message>
        <source>Sel.</source>
        <translation>選択</translation>
    </message>
</context>
<context>
    <name>ImageSum</name>
    <message>
        <source>the sum-up map has no image</source>
        <translation>合算マップに画像がありません</translation>
    </message>
</context>
<context>
    <name>ImgProc</name>
    <message>
        <source>Image Processor</source>
        <translation>画像処理</translation>
    </message>
    <message>
        <source>Shift X:</source>
        <translation>シフト X:</translation>
    </message>
    <message>
        <source>Y:</source>
        <translation>Y:</translation>
    </message>
    <message>
        <source>Comp.</source>
        <translation>比較</translation>
    </message>
    <message>
        <source>S.P.</source>
        <translation>内積</translation>
    </message>
    <message>
        <source>Edge Detect</source>
        <translation>エッジ検出</translation>
    </message>
    <message>
        <source>Binary</source>
        <translation>二値化</translation>
    </message>
    <message>
        <source>Th.</source>
        <translation>閾値</translation>
    </message>
    <message>
        <source>Min</source>
        <translation>最小</translation>
    </message>
    <message>
        <source>Max</source>
        <translation>最大</translation>
    </message>
    <message>
        <source>Set Ref.</source>
        <translation>参照に設定</translation>
    </message>
    <message>
        <source>Auto Shift</source>
        <translation>自動シフト</translation>
    </message>
    <message>
        <source>A. Set Shift</source>
        <translation>自動シフト設定</translation>
    </message>
    <message>
        <source>A. A. Shift</source>
        <translation>常に自動シフト</translation>
    </message>
    <message>
        <source>Set Shift</source>
        <translation>シフト設定</translation>
    </message>
    <message>
        <source>Clear All Shifts</source>
        <translation>全シフトをクリア</translation>
    </message>
    <message>
        <source>No reference image taken: the image processor has no image yet (check &quot;Edge Detect&quot; with I1 images loaded)</source>
        <translation>参照画像を取りません: 画像処理にまだ画像がありません（I1 画像を読み込んで「エッジ検出」をチェックしてください）</translation>
    </message>
    <message>
        <source>The image processor shows nothing: it has no image yet (check &quot;Edge Detect&quot; with I1 images loaded)</source>
        <translation>画像処理に何も表示しません: まだ画像がありません（I1 画像を読み込んで「エッジ検出」をチェックしてください）</translation>
    </message>
    <message>
        <source>The image processor shows nothing: it has no reference image; press &quot;Set Ref.&quot; to take this one</source>
        <translation>画像処理に何も表示しません: 参照画像がありません。「参照に設定」を押してこの画像を参照にしてください</translation>
    </message>
    <message>
        <source>The image processor shows nothing: the reference image is %1 x %2 pixels, this one %3 x %4; press &quot;Set Ref.&quot; to take this one</source>
        <translation>画像処理に何も表示しません: 参照画像は %1 x %2 ピクセル、この画像は %3 x %4 です。「参照に設定」を押してこの画像を参照にしてください</translation>
    </message>
</context>
<context>
    <name>LCFReference</name>
    <message>
        <source>LCFReference</source>
        <translation>LCF参照</translation>
    </message>
    <message>
        <source>  dE [eV]</source>
        <translation>  dE [eV]</translation>
    </message>
    <message>
        <source>dMut</source>
        <translation>dMut</translation>
    </message>
    <message>
        <source>at</source>
        <translation>at</translation>
    </message>
    <message>
        <source>[eV]  </source>
        <translation>[eV]  </translation>
    </message>
    <message>
        <source>Victreen</source>
        <translation>Victoreen</translation>
    </message>
    <message>
        <source>[%]  </source>
        <translation>[%]  </translation>
    </message>
    <message>
        <source>mut</source>
        <translation>mut</translation>
    </message>
</context>
<context>
    <name>SafeSave</name>
    <message>
        <source>the TIFF image could not be made</source>
        <translation>TIFF 画像を作れませんでした</translation>
    </message>
    <message>
        <source>the map %1 holds no values</source>
        <translation>マップ %1 に値がありません</translation>
    </message>
    <message>
        <source>%1 holds no values</source>
        <translation>%1 には値がありません</translation>
    </message>
</context>
<context>
    <name>SafeWrite</name>
    <message>
        <source>write error</source>
        <translation>書き込みエラー</translation>
    </message>
    <message>
        <source>the folder %1 does not exist</source>
        <translation>フォルダ %1 がありません</translation>
    </message>
    <message>
        <source>no file name</source>
        <translation>ファイル名がありません</translation>
    </message>
    <message>
        <source>the data could not be written</source>
        <translation>データを書き込めませんでした</translation>
    </message>
    <message>
        <source>nothing was prepared</source>
        <translation>何も用意されていません</translation>
    </message>
    <message>
        <source>no image format for the suffix &quot;%1&quot;</source>
        <translation>拡張子「%1」の画像形式がありません</translation>
    </message>
    <message>
        <source>no image to save</source>
        <translation>保存する画像がありません</translation>
    </message>
    <message>
        <source>Not saved: the folder %1 does not exist</source>
        <translation>保存していません: フォルダ %1 がありません</translation>
    </message>
    <message>
        <source>%1 could not be saved: %2</source>
        <translation>%1 を保存できませんでした: %2</translation>
    </message>
    <message>
        <source>Saved %1 in %2</source>
        <translation>%2 に %1 を保存しました</translation>
    </message>
</context>
<context>
    <name>SaveDataCfg</name>
    <message>
        <source>Save Data Configuration</source>
        <translation>データ保存設定</translation>
    </message>
    <message>
        <source>Save as Tiff</source>
        <translation>Tiffで保存</translation>
    </message>
    <message>
        <source>Save as Text data</source>
        <translation>テキストデータで保存</translation>
    </message>
    <message>
        <source>Fixed Scale</source>
        <translation>固定スケール</translation>
    </message>
    <message>
        <source>Min</source>
        <translation>最小</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>  Max</source>
        <translation>  最大</translation>
    </message>
    <message>
        <source>10</source>
        <translation>10</translation>
    </message>
    <message>
        <source>Save as Analyzed Area Size and Resolution</source>
        <translation>解析領域のサイズと解像度で保存</translation>
    </message>
    <message>
        <source>Comma Separated</source>
        <translation>カンマ区切り</translation>
    </message>
    <message>
        <source>Space Separated</source>
        <translation>空白区切り</translation>
    </message>
    <message>
        <source>X Y Val : 1point/1line</source>
        <translation>X Y 値 : 1行に1点</translation>
    </message>
    <message>
        <source>Val1 Val2 Val3... : each Y line</source>
        <translation>値1 値2 値3... : Yごとに1行</translation>
    </message>
</context>
<context>
    <name>SelectDataFiles</name>
    <message>
        <source>SelectDataFiles</source>
        <translation>データファイル選択</translation>
    </message>
    <message>
        <source>Data Select</source>
        <translation>データ選択</translation>
    </message>
    <message>
        <source>New</source>
        <translation>新規</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>追加</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>クリア</translation>
    </message>
    <message>
        <source>Exp.</source>
        <translation>露光</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;The exporsure eime is used when the time is not recorded in image file.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;画像ファイルに露光時間が記録されていない場合にこの露光時間を使います。&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>50</source>
        <translation>50</translation>
    </message>
    <message>
        <source>[ms]</source>
        <translation>[ms]</translation>
    </message>
    <message>
        <source>Cut F.</source>
        <translation>先頭除外</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Skip</source>
        <translation>間引き</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>Cut L.</source>
        <translation>末尾除外</translation>
    </message>
    <message>
        <source>X ax.</source>
        <translation>X軸</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>設定</translation>
    </message>
    <message>
        <source>Add. Setup</source>
        <translation>追加設定</translation>
    </message>
    <message>
        <source>QDRN Files, IMG Files, Tiff Files (*.dat *.img *.tif *.tiff)</source>
        <translation>QDRNファイル, IMGファイル, Tiffファイル (*.dat *.img *.tif *.tiff)</translation>
    </message>
    <message>
        <source>Any Files (* *.*)</source>
        <translation>すべてのファイル (* *.*)</translation>
    </message>
</context>
<context>
    <name>SelectDataFilesAdditionalSetup</name>
    <message>
        <source>Select Data Files Additional Setup</source>
        <translation>データファイル選択の追加設定</translation>
    </message>
    <message>
        <source>Show Latest Image on Load</source>
        <translation>読み込み中に最新画像を表示</translation>
    </message>
    <message>
        <source>Ignore  &apos;Live&apos; file</source>
        <translation>&apos;Live&apos; ファイルを無視</translation>
    </message>
    <message>
        <source>Set Dark Area</source>
        <translation>ダーク領域設定</translation>
    </message>
    <message>
        <source>Up Date</source>
        <translation>更新</translation>
    </message>
    <message>
        <source>CLR</source>
        <translation>消去</translation>
    </message>
    <message>
        <source>Dark Area:</source>
        <translation>ダーク領域:</translation>
    </message>
    <message>
        <source>(-,-)-(-,-)</source>
        <translation>(-,-)-(-,-)</translation>
    </message>
    <message>
        <source>Select Err. Ps. Def.</source>
        <translation>欠陥画素定義選択</translation>
    </message>
    <message>
        <source>Use Err Points Mask</source>
        <translation>欠陥画素マスクを使用</translation>
    </message>
</context>
<context>
    <name>SelectImgDialog</name>
    <message>
        <source>QDRN Files, IMG Files, Tiff Files (*.dat *.img *.tif *.tiff)</source>
        <translation>QDRNファイル, IMGファイル, Tiffファイル (*.dat *.img *.tif *.tiff)</translation>
    </message>
    <message>
        <source>Any Files (* *.*)</source>
        <translation>すべてのファイル (* *.*)</translation>
    </message>
</context>
<context>
    <name>SpecPane</name>
    <message>
        <source>XAFS</source>
        <translation>XAFS</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Normalized</source>
        <translation>規格化</translation>
    </message>
    <message>
        <source>E. Correct</source>
        <translation>エネルギー補正</translation>
    </message>
    <message>
        <source>Raw</source>
        <translation>生データ</translation>
    </message>
    <message>
        <source>FFT</source>
        <translation>FFT</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Reset X Axis Scale&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;X軸スケールを初期化&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>S.R.</source>
        <translation>S.R.</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>Data File (*.dat)</source>
        <translation>データファイル (*.dat)</translation>
    </message>
    <message>
        <source>Any Files (* *.*)</source>
        <translation>すべてのファイル (* *.*)</translation>
    </message>
    <message>
        <source>dMut = %1, Edge %2 [eV] : %3 %4</source>
        <translation>dMut = %1, 吸収端 %2 [eV] : %3 %4</translation>
    </message>
    <message>
        <source>Out of Range midx</source>
        <translation>midx が範囲外</translation>
    </message>
    <message>
        <source>Noizy to decide midx</source>
        <translation>ノイズが多く midx を決定できません</translation>
    </message>
    <message>
        <source>the spectrum under the cursor has no points</source>
        <translation>カーソル位置のスペクトルに点がありません</translation>
    </message>
    <message>
        <source>Not saved: %1</source>
        <translation>保存しません: %1</translation>
    </message>
</context>
<context>
    <name>Stats</name>
    <message>
        <source>Statistics</source>
        <translation>統計</translation>
    </message>
    <message>
        <source>Bins</source>
        <translation>ビン数</translation>
    </message>
    <message>
        <source>X</source>
        <translation>X</translation>
    </message>
    <message>
        <source>Val/Max</source>
        <translation>値/最大</translation>
    </message>
    <message>
        <source>Show Over Image</source>
        <translation>画像上に表示</translation>
    </message>
    <message>
        <source>Num</source>
        <translation>点数</translation>
    </message>
    <message>
        <source>Mean</source>
        <translation>平均</translation>
    </message>
    <message>
        <source>Sigma</source>
        <translation>標準偏差</translation>
    </message>
    <message>
        <source>Show Stats in Selected Area</source>
        <translation>選択領域の統計を表示</translation>
    </message>
    <message>
        <source>In Selected Area:</source>
        <translation>選択領域内:</translation>
    </message>
    <message>
        <source>Min.</source>
        <translation>最小</translation>
    </message>
    <message>
        <source>Max.</source>
        <translation>最大</translation>
    </message>
    <message>
        <source>Sigam</source>
        <translation>標準偏差</translation>
    </message>
</context>
<context>
    <name>SumUpCtrl</name>
    <message>
        <source>Sum Up Control</source>
        <translation>積算の設定</translation>
    </message>
    <message>
        <source>Sum Up Img No. From:</source>
        <translation>積算する画像番号 開始:</translation>
    </message>
    <message>
        <source>To:</source>
        <translation>終了:</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>追加</translation>
    </message>
    <message>
        <source>Del</source>
        <translation>削除</translation>
    </message>
    <message>
        <source>no map to fill</source>
        <translation>書き込むマップがありません</translation>
    </message>
</context>
<context>
    <name>ToolsOnBody</name>
    <message>
        <source>The shift was not stored: the image-alignment panel has no I1 frame</source>
        <translation>シフトを記録していません: 位置合わせパネルに I1 画像がありません</translation>
    </message>
    <message>
        <source>Energy-shift map not read: %1 cannot be opened</source>
        <translation>エネルギーシフトマップを読みません: %1 を開けません</translation>
    </message>
    <message>
        <source>Energy-shift map not read: %1 is not an energy-shift map file</source>
        <translation>エネルギーシフトマップを読みません: %1 はエネルギーシフトマップファイルではありません</translation>
    </message>
    <message>
        <source>Energy-shift map not read: %1 is %2 x %3 pixels, the images %4 x %5</source>
        <translation>エネルギーシフトマップを読みません: %1 は %2 x %3 ピクセル、画像は %4 x %5 です</translation>
    </message>
    <message>
        <source>Energy-shift map not read: values in %1 are missing or damaged</source>
        <translation>エネルギーシフトマップを読みません: %1 の値が欠けているか壊れています</translation>
    </message>
    <message>
        <source>The image processor shows nothing: no I1 image is loaded</source>
        <translation>画像処理に何も表示しません: I1 画像が読み込まれていません</translation>
    </message>
    <message>
        <source>The energy-shift map was not saved: there is nothing to save (run &quot;Exec Calib.&quot; or load a map first)</source>
        <translation>エネルギーシフトマップを保存しません: 保存するものがありません（「校正実行」を押すかマップを読み込んでください）</translation>
    </message>
    <message>
        <source>The energy-shift map was not saved: its grid is %1 x %2 pixels, the images %3 x %4</source>
        <translation>エネルギーシフトマップを保存しません: そのグリッドは %1 x %2 ピクセル、画像は %3 x %4 です</translation>
    </message>
    <message>
        <source>Shift X</source>
        <translation>シフト X</translation>
    </message>
    <message>
        <source>Shift Y</source>
        <translation>シフト Y</translation>
    </message>
    <message>
        <source>Statistics Bins</source>
        <translation>統計のビン数</translation>
    </message>
</context>
<context>
    <name>XafsFileSelect</name>
    <message>
        <source>XAFS File Select</source>
        <translation>XAFSファイル選択</translation>
    </message>
    <message>
        <source>Select</source>
        <translation>選択</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>クリア</translation>
    </message>
    <message>
        <source>XAFS Data File (*.dat)</source>
        <translation>XAFSデータファイル (*.dat)</translation>
    </message>
    <message>
        <source>Any Files (* *.*)</source>
        <translation>すべてのファイル (* *.*)</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Failures in this run: %1; the first: %2</source>
        <translation>この実行の失敗: %1 件。最初の失敗: %2</translation>
    </message>
    <message>
        <source>Failures in this run: 0</source>
        <translation>この実行の失敗: 0 件</translation>
    </message>
    <message>
        <source>Batch: the run was stopped by %1 before its end</source>
        <translation>バッチ: 実行は終わる前に %1 で止められました</translation>
    </message>
</context>
<context>
    <name>LcfFit</name>
    <message>
        <source>reference row %1 has no edge jump of its own under the block&apos;s conditions (its spectrum is refused there): its fraction has no edge step to count in</source>
        <translation>参照行 %1 はブロックの条件では自身のエッジジャンプがありません（そのスペクトルはそこで拒否されます）: 割合を数えるエッジステップがありません</translation>
    </message>
    <message>
        <source>reference row %1, normalised over the block&apos;s ranges, has an edge jump %2 times its own (outside %3 - %4): the block&apos;s energies do not measure its edge</source>
        <translation>参照行 %1 はブロックの範囲で規格化するとエッジジャンプが自身の %2 倍です（%3 - %4 の外）: ブロックのエネルギーではそのエッジを測れません</translation>
    </message>
    <message>
        <source>the fraction of reference row %1 has a standard error of %2 (over %3): the references cannot be told apart at the stack&apos;s energies</source>
        <translation>参照行 %1 の割合の標準誤差が %2 です（%3 を超えます）: スタックのエネルギーでは参照を区別できません</translation>
    </message>
</context>
<context>
    <name>ElemList</name>
    <message>
        <source>there is no element row (analyzer_target_elements makes them); nothing changed</source>
        <translation>元素の行がありません（analyzer_target_elements で作ります）。何も変えません</translation>
    </message>
    <message>
        <source>%1 names %2 rows (%3): give the whole name; nothing changed</source>
        <translation>%1 は %2 行を指します（%3）: 名前全体を指定してください。何も変えません</translation>
    </message>
    <message>
        <source>there is no element row %1 (rows 0 to %2: %3); nothing changed</source>
        <translation>元素の行 %1 はありません（行 0 から %2: %3）。何も変えません</translation>
    </message>
    <message>
        <source>no element row is named %1; did you mean %2? nothing changed</source>
        <translation>%1 という名前の元素の行はありません。%2 のことですか？ 何も変えません</translation>
    </message>
    <message>
        <source>no element row is named %1 (the rows: %2); nothing changed</source>
        <translation>%1 という名前の元素の行はありません（行: %2）。何も変えません</translation>
    </message>
</context>
</TS>
